#include "ExceptionText.h"

#include "AppError.h"
#include "CommonRes.h"
#include "ResourceText.h"
#include "TextConvert.h"

#include <windows.h>

#include <system_error>
#include <typeinfo>

std::wstring ExceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const AppError& appError) {
        return appError.message();
    } catch (const std::system_error& systemError) {
        if (systemError.code().category() == std::system_category())
            return SystemErrorText(static_cast<unsigned long>(systemError.code().value()));
        return CodePageToWide(CP_ACP, systemError.what());
    } catch (const std::exception& other) {
        return CodePageToWide(CP_ACP, other.what());
    } catch (...) {
        return {};
    }
}

std::wstring GetExceptionText(const std::exception_ptr& error) {
    constexpr size_t kMaxLength = 1024;
    std::wstring text = ExceptionText(error);
    if (text.empty()) {
        std::wstring kind = L"(unknown)";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& other) {
            kind = Utf8ToWide(typeid(other).name());
        } catch (...) {
        }
        text = FormatResourceString(IDS_UNKNOWN_ERROR, kind);
    }
    if (text.size() > kMaxLength) text.resize(kMaxLength);
    return text;
}
