#include "ConnectionTexts.h"

#include "AppError.h"
#include "MainFormRes.h"
#include "ResourceText.h"
#include "TextConvert.h"

#include <windows.h>

#include <cwchar>
#include <system_error>
#include <typeinfo>

std::wstring FormatConnectError(int32_t result) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%08X", static_cast<unsigned>(result));
    std::wstring text = LoadResourceString(IDS_CONNECT_ERROR);
    const size_t at = text.find(L"%08X");
    if (at == std::wstring::npos) return L"Ошибка подключения библиотеки 0x" + std::wstring(digits) + L".";
    return text.replace(at, 4, digits);
}

std::wstring GetExceptionText(const std::exception_ptr& error) {
    constexpr size_t kMaxLength = 1024;
    std::wstring text;
    try {
        std::rethrow_exception(error);
    } catch (const AppError& appError) {
        text = appError.message();
    } catch (const std::system_error& systemError) {
        // The runtime's what() of a system error is in the ANSI code page, and in
        // English at best: the system's own text is in the user's language.
        text = systemError.code().category() == std::system_category()
                   ? SystemErrorText(static_cast<unsigned long>(systemError.code().value()))
                   : CodePageToWide(CP_ACP, systemError.what());
    } catch (const std::exception& other) {
        // Only AppError carries UTF-8; the runtime's own texts are ANSI.
        text = CodePageToWide(CP_ACP, other.what());
        if (text.empty()) text = FormatResourceString(IDS_UNKNOWN_ERROR, Utf8ToWide(typeid(other).name()));
    } catch (...) {
        text = FormatResourceString(IDS_UNKNOWN_ERROR, L"(unknown)");
    }
    if (text.size() > kMaxLength) text.resize(kMaxLength);
    return text;
}
