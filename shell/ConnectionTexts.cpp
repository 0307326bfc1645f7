#include "ConnectionTexts.h"

#include "MainFormRes.h"
#include "ResourceText.h"
#include "SharingRes.h"

#include <cwchar>

std::wstring FormatConnectError(int32_t result) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%08X", static_cast<unsigned>(result));
    std::wstring text = LoadResourceString(IDS_CONNECT_ERROR);
    const size_t at = text.find(L"%08X");
    if (at == std::wstring::npos) return L"Ошибка подключения библиотеки 0x" + std::wstring(digits) + L".";
    return text.replace(at, 4, digits);
}

TDBTestMessage DBTestMessage(TDBTestOutcome outcome) {
    switch (outcome) {
    case TDBTestOutcome::Success: return {LoadResourceString(IDS_DBTEST_SUCCESS), MB_ICONINFORMATION};
    case TDBTestOutcome::NotActive: return {LoadResourceString(IDS_DBTEST_NOT_ACTIVE), MB_ICONWARNING};
    case TDBTestOutcome::CannotConnect: return {LoadResourceString(IDS_DBTEST_CANNOT_CONNECT), MB_ICONWARNING};
    case TDBTestOutcome::TimedOut: break;
    }
    return {LoadResourceString(IDS_DBTEST_TIMED_OUT), MB_ICONWARNING};
}
