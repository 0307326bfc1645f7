#include "ConnectionTexts.h"

#include "ExceptionText.h"
#include "MainFormRes.h"
#include "ResourceText.h"
#include "TextConvert.h"

#include <cwchar>
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
