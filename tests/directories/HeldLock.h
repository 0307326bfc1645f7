#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

// DirectoryLockHolder.exe holding a table file's write lock ("reserved" or
// "exclusive") as another workstation would, until released or until maxMs pass.
class HeldLock {
public:
    HeldLock(const std::wstring& table, const wchar_t* mode, DWORD maxMs);
    ~HeldLock() { Release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

    bool held() const { return held_; }
    void Release();

private:
    UniqueKernelHandle ready_, release_, process_;
    bool held_ = false;
};
