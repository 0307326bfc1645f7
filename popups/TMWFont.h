#pragma once
#include <windows.h>

#include <string>

// Attributes of the popup text font, kept by value so that nobody shares a GDI
// object: the popup manager copies it, each popup creates its own HFONT from it.
struct TTMWFont {
    std::wstring Name;
    int Size = 10;  // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    COLORREF Color = RGB(0, 0, 0);
    BYTE Charset = DEFAULT_CHARSET;

    // The system's user-interface face at 10 points, in the window text colour.
    static TTMWFont Default();
    // From a font dialog's result; lfHeight is converted at the screen's DPI.
    static TTMWFont FromLogFont(const LOGFONTW& logFont, COLORREF color);
    // Pixel height at the screen's DPI. An empty name or a size outside
    // 1..kMaxPointSize (a hand-edited settings file) gives the default face or
    // the nearest size.
    LOGFONTW ToLogFont() const;

    static constexpr int kMaxPointSize = 200;

    bool operator==(const TTMWFont&) const = default;
};

// Vertical pixels per inch of the screen (96 when it cannot be asked).
int ScreenPixelsPerInch();
