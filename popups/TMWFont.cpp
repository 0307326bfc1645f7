#include "TMWFont.h"

#include "UniqueHandle.h"

#include <algorithm>
#include <cwchar>

namespace {

constexpr wchar_t kFallbackFace[] = L"Tahoma";

std::wstring SystemUiFace() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) &&
        metrics.lfMessageFont.lfFaceName[0] != L'\0')
        return metrics.lfMessageFont.lfFaceName;
    return kFallbackFace;
}

}  // namespace

int ScreenPixelsPerInch() {
    WindowDC screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

TTMWFont TTMWFont::Default() {
    TTMWFont font;
    font.Name = SystemUiFace();
    font.Color = ::GetSysColor(COLOR_WINDOWTEXT);
    return font;
}

TTMWFont TTMWFont::FromLogFont(const LOGFONTW& logFont, COLORREF color) {
    TTMWFont font;
    font.Name.assign(logFont.lfFaceName, ::wcsnlen(logFont.lfFaceName, LF_FACESIZE));
    const int pixels = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
    font.Size = pixels == 0 ? 10 : ::MulDiv(pixels, 72, ScreenPixelsPerInch());
    font.Bold = logFont.lfWeight >= FW_BOLD;
    font.Italic = logFont.lfItalic != 0;
    font.Underline = logFont.lfUnderline != 0;
    font.StrikeOut = logFont.lfStrikeOut != 0;
    font.Color = color;
    font.Charset = logFont.lfCharSet;
    return font;
}

LOGFONTW TTMWFont::ToLogFont() const {
    LOGFONTW logFont{};
    const int points = std::clamp(Size, 1, kMaxPointSize);
    logFont.lfHeight = -::MulDiv(points, ScreenPixelsPerInch(), 72);
    logFont.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    logFont.lfItalic = Italic;
    logFont.lfUnderline = Underline;
    logFont.lfStrikeOut = StrikeOut;
    logFont.lfCharSet = Charset;
    logFont.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = Name.empty() ? SystemUiFace() : Name;
    face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
    return logFont;
}
