#include "ExceptionText.h"

#include "AppError.h"
#include "MainFormRes.h"
#include "ResourceText.h"
#include "TextConvert.h"

#include <typeinfo>

std::wstring GetExceptionText(const std::exception_ptr& error) {
    constexpr size_t kMaxLength = 1024;
    std::wstring text;
    try {
        std::rethrow_exception(error);
    } catch (const AppError& appError) {
        text = appError.message();
    } catch (const std::exception& other) {
        text = Utf8ToWide(other.what());
        if (text.empty()) text = FormatResourceString(IDS_UNKNOWN_ERROR, Utf8ToWide(typeid(other).name()));
    } catch (...) {
        text = FormatResourceString(IDS_UNKNOWN_ERROR, L"(unknown)");
    }
    if (text.size() > kMaxLength) text.resize(kMaxLength);
    return text;
}
