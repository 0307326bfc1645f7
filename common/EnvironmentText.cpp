#include "EnvironmentText.h"

#include <windows.h>

std::optional<std::wstring> ExpandEnvironmentText(const std::wstring& text) {
    DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    while (needed != 0) {
        std::wstring buffer(needed, L'\0');
        const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
        if (written == 0) return std::nullopt;
        if (written <= needed) return buffer.substr(0, buffer.find(L'\0'));
        needed = written;  // the environment grew between the two calls
    }
    return std::nullopt;
}
