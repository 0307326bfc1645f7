#pragma once
#include <initializer_list>

// Privileges the process holds (SYSTEM, an elevated administrator), enabled for
// this thread only, on a copy of the process's token, for as long as the object
// lives. Those the process does not hold stay off: the calls that need them fail
// as they would have.
class TThreadPrivileges {
public:
    explicit TThreadPrivileges(std::initializer_list<const wchar_t*> names);
    ~TThreadPrivileges();
    TThreadPrivileges(const TThreadPrivileges&) = delete;
    TThreadPrivileges& operator=(const TThreadPrivileges&) = delete;

private:
    bool impersonating_ = false;
};
