#include "ClipboardText.h"

#include <cstring>

namespace {

class ClipboardSession {
public:
    explicit ClipboardSession(HWND owner) {
        for (int attempt = 0; attempt < 10 && !open_; ++attempt) {
            open_ = ::OpenClipboard(owner) != FALSE;
            if (!open_) ::Sleep(10);
        }
    }
    ~ClipboardSession() {
        if (open_) ::CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool open() const { return open_; }

private:
    bool open_ = false;
};

}  // namespace

bool PutClipboardText(HWND owner, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return false;
    if (void* data = ::GlobalLock(memory)) {
        std::memcpy(data, text.c_str(), bytes);
        ::GlobalUnlock(memory);
    } else {
        ::GlobalFree(memory);
        return false;
    }
    ClipboardSession clipboard(owner);
    // The clipboard owns the memory only once SetClipboardData succeeded.
    if (!clipboard.open() || !::EmptyClipboard() || !::SetClipboardData(CF_UNICODETEXT, memory)) {
        ::GlobalFree(memory);
        return false;
    }
    return true;
}

std::wstring GetClipboardText(HWND owner) {
    std::wstring text;
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT)) return text;
    ClipboardSession clipboard(owner);
    if (!clipboard.open()) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            // The block may be larger than the text; the text ends at its NUL.
            const size_t capacity = ::GlobalSize(data) / sizeof(wchar_t);
            size_t length = 0;
            while (length < capacity && chars[length] != L'\0') ++length;
            text.assign(chars, length);
            ::GlobalUnlock(data);
        }
    }
    return text;
}
