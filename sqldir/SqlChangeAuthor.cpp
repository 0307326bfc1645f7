#include "SqlChangeAuthor.h"

#include <windows.h>

#include <lmcons.h>

std::wstring SqlChangeAuthor() {
    wchar_t user[UNLEN + 1] = {};
    DWORD userSize = UNLEN + 1;
    if (!::GetUserNameW(user, &userSize)) user[0] = 0;
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerSize = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(computer, &computerSize)) computer[0] = 0;
    wchar_t domain[DNLEN + 1] = {};
    const DWORD domainSize = ::GetEnvironmentVariableW(L"USERDOMAIN", domain, DNLEN + 1);
    std::wstring author = domainSize > 0 && domainSize <= DNLEN ? std::wstring(domain) + L"\\" : std::wstring();
    return author + user + L" on " + computer;
}
