#include "SqlChangeAuthor.h"

#define SECURITY_WIN32
#include <windows.h>
#include <security.h>

namespace {

std::wstring UserName() {
    ULONG size = 0;
    ::GetUserNameExW(NameSamCompatible, nullptr, &size);
    if (size > 0) {
        std::wstring name(size, L'\0');
        if (::GetUserNameExW(NameSamCompatible, name.data(), &size)) {
            name.resize(size);
            return name;
        }
    }
    DWORD plainSize = 0;
    ::GetUserNameW(nullptr, &plainSize);
    if (plainSize == 0) return {};
    std::wstring name(plainSize, L'\0');
    if (!::GetUserNameW(name.data(), &plainSize)) return {};
    name.resize(plainSize > 0 ? plainSize - 1 : 0);
    return name;
}

std::wstring ComputerName() {
    DWORD size = 0;
    ::GetComputerNameExW(ComputerNameNetBIOS, nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!::GetComputerNameExW(ComputerNameNetBIOS, name.data(), &size)) return {};
    name.resize(size);
    return name;
}

}  // namespace

std::wstring SqlChangeAuthor() {
    const std::wstring user = UserName();
    const std::wstring computer = ComputerName();
    if (computer.empty()) return user;
    return user + L" on " + computer;
}
