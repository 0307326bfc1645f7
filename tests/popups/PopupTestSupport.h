#pragma once
// Helpers for the popup tests: pumping messages and reading back what a popup shows.
#include "ClipboardText.h"
#include "MessagePump.h"

#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>
#include <vector>

namespace popuptest {

using ::PumpFor;
using ::PumpPending;
using ::PumpUntil;

// A child's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The paragraphs of a rich-text control, each prefixed with "*" when it is
// wholly bold. A text that ends with a line break has no extra empty line.
inline std::vector<std::wstring> RichLines(HWND richEdit) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT length = ::SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    const LRESULT copied =
        ::SendMessageW(richEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));

    std::vector<std::wstring> lines;
    LONG position = 0;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find_first_of(L"\r\n", begin);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(begin, end - begin);
        const LONG lineLength = static_cast<LONG>(line.size());
        if (lineLength > 0) {
            CHARRANGE range{position, position + lineLength};
            ::SendMessageW(richEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
            CHARFORMAT2W format{};
            format.cbSize = sizeof(format);
            ::SendMessageW(richEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
            if ((format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD)) line.insert(0, L"*");
        }
        lines.push_back(line);
        size_t next = end;
        if (next < text.size() && text[next] == L'\r') ++next;
        if (next < text.size() && text[next] == L'\n') ++next;
        position += lineLength + 1;  // a paragraph break counts as one character
        begin = next;
    }
    return lines;
}

inline std::wstring ReadClipboardText() { return GetClipboardText(nullptr); }

}  // namespace popuptest
