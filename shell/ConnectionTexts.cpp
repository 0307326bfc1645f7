#include "ConnectionTexts.h"

#include "MainFormRes.h"
#include "ResourceText.h"

#include <cwchar>

std::wstring FormatConnectError(int32_t result) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%08X", static_cast<unsigned>(result));
    std::wstring text = LoadResourceString(IDS_CONNECT_ERROR);
    const size_t at = text.find(L"%08X");
    if (at == std::wstring::npos) return L"Ошибка подключения библиотеки 0x" + std::wstring(digits) + L".";
    return text.replace(at, 4, digits);
}
