#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// What a resizable window remembers of itself between openings, per Windows
// user: its restored frame, whether it was maximised, and its list's column
// widths. Kept as values of HKEY_CURRENT_USER\<key>\<window name>.
struct TWindowMemory {
    RECT Frame{};                    // the restored (not maximised) frame on the screen, in pixels at Dpi
    UINT Dpi = USER_DEFAULT_SCREEN_DPI;
    bool Maximized = false;
    std::vector<int> ColumnWidths;  // pixels at 96 DPI, in column order
};

// The program's key; nothing is remembered until a key is set, so that a
// window a test opens leaves the user's key alone.
inline constexpr wchar_t kWindowMemoryKey[] = L"Software\\Kordavin\\Informer\\Windows";
// Set once at start, before any window opens; empty remembers nothing.
void SetWindowMemoryKey(std::wstring key);
const std::wstring& WindowMemoryKey();

// Nothing when no key is set, the window never saved itself or what is stored
// cannot be read as a frame.
std::optional<TWindowMemory> LoadWindowMemory(const std::wstring& name);
// Best effort: a window that cannot remember itself opens at its default size.
void SaveWindowMemory(const std::wstring& name, const TWindowMemory& memory) noexcept;

// A remembered frame put on a work area: moved onto it where it sticks out
// (its monitor is gone, the resolution shrank), shrunk to it when larger.
RECT FitFrameToWorkArea(RECT frame, const RECT& work);

// The window's state as it is now; list may be null.
TWindowMemory CaptureWindowMemory(HWND window, HWND list);
// Gives the window its remembered frame (at least minimumFrame large, scaled
// to its DPI now and on a monitor's work area) and the list its column widths.
// Call it on a window that is not maximised or minimised; a hidden window
// stays hidden unless it was maximised.
void ApplyWindowMemory(HWND window, HWND list, const TWindowMemory& memory, SIZE minimumFrame);
