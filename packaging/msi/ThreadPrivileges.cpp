#include "ThreadPrivileges.h"

#include "UniqueHandle.h"

#include <windows.h>

TThreadPrivileges::TThreadPrivileges(std::initializer_list<const wchar_t*> names) {
    if (!::ImpersonateSelf(SecurityImpersonation)) return;
    impersonating_ = true;
    HANDLE token = nullptr;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, TRUE, &token)) return;
    const UniqueKernelHandle owned(token);
    for (const wchar_t* name : names) {
        TOKEN_PRIVILEGES privilege{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (::LookupPrivilegeValueW(nullptr, name, &privilege.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token, FALSE, &privilege, 0, nullptr, nullptr);
    }
}

TThreadPrivileges::~TThreadPrivileges() {
    if (impersonating_) ::RevertToSelf();
}
