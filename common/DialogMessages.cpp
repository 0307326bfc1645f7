#include "DialogMessages.h"

#include <string>

bool HandleDialogMessage(MSG& message) {
    HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    if (!root) return false;
    wchar_t className[16] = {};
    ::GetClassNameW(root, className, 16);
    return std::wstring(className) == L"#32770" && ::IsDialogMessageW(root, &message);
}
