#include "PopupLayout.h"

#include <algorithm>
#include <cmath>
#include <vector>

TTrayMsgPos EffectiveTrayMsgPos(TTrayMsgPos pos) {
    switch (pos) {
    case tmpLeftTop:
    case tmpRighTop:
    case tmpLeftBottom:
    case tmpRighBottom:
        return pos;
    }
    return tmpRighBottom;
}

TTrayMsgAnimate EffectiveTrayMsgAnimate(TTrayMsgAnimate animate) {
    switch (animate) {
    case tmaNone:
    case tmaVertical:
    case tmaHorizontal:
        return animate;
    }
    return tmaVertical;
}

namespace {

int ClampSize(int value, int minimum, long long available) {
    const long long upper = std::max<long long>(minimum, available);
    return static_cast<int>(std::clamp<long long>(value, minimum, upper));
}

}  // namespace

TPopupPlacement PlacePopup(const RECT& workArea, const TPopupLayoutSettings& settings, int row) {
    const TTrayMsgPos pos = EffectiveTrayMsgPos(settings.Pos);
    const TTrayMsgAnimate animate = EffectiveTrayMsgAnimate(settings.Animate);
    // 64-bit arithmetic: sizes and displacement come from a settings file.
    const long long x = workArea.left, y = workArea.top;
    const long long w = static_cast<long long>(workArea.right) - workArea.left;
    const long long h = static_cast<long long>(workArea.bottom) - workArea.top;

    TPopupPlacement placement;
    const int ww = ClampSize(settings.WinWidth, kMinPopupWidth, w);
    const int wh = ClampSize(settings.WinHeight, kMinPopupHeight, h);
    placement.Size = {ww, wh};

    long long r = std::max(row, 0);
    if ((r + 1) * wh > h) r = 0;
    placement.Row = static_cast<int>(r);

    const bool left = pos == tmpLeftTop || pos == tmpLeftBottom;
    const bool top = pos == tmpLeftTop || pos == tmpRighTop;
    long long endLeft = left ? x + settings.Displacement : x + w - ww - settings.Displacement;
    endLeft = std::clamp(endLeft, x, std::max(x, x + w - ww));
    const long long endTop = top ? y + r * wh : y + h - (r + 1) * wh;
    placement.End = {static_cast<LONG>(endLeft), static_cast<LONG>(endTop)};

    placement.Start = placement.End;
    if (animate == tmaVertical)
        placement.Start.y = static_cast<LONG>(top ? y - wh : y + h);
    else if (animate == tmaHorizontal)
        placement.Start.x = static_cast<LONG>(left ? x - ww : x + w);
    return placement;
}

int NextRowIndex(int row, int rows) {
    const int next = row + 1;
    return next >= rows ? 0 : next;
}

POINT SlidePosition(POINT end, int xLeng, int yLeng, uint32_t elapsedMs) {
    if (elapsedMs >= kSlideDurationMs) return end;
    // Extended precision where the compiler has it; trunc cuts towards zero.
    constexpr long double kPi = 3.141592653589793238462643383279502884L;
    const long double s = 1.0L - std::sin(static_cast<long double>(elapsedMs) * kPi / 500.0L);
    return {end.x - static_cast<LONG>(std::trunc(s * xLeng)), end.y - static_cast<LONG>(std::trunc(s * yLeng))};
}

namespace {

// The popup as designed: pixels at 96 DPI on a popup 200 pixels wide.
constexpr int kDesignWidth = 200;
constexpr int kStrip = 20;
constexpr int kIconLeft = 5;
constexpr int kIconTop = 3;
constexpr int kIconSize = 16;
constexpr int kTitleLeft = 24;
constexpr int kTitleTop = 4;
constexpr int kFrameInset = 4;
constexpr int kInfoInset = 6;
constexpr int kInfoTop = 22;
constexpr int kInfoBottomSpace = 36;
constexpr int kCopyRightSpace = 25;
constexpr int kCopySize = 19;
constexpr int kButtonLeft = 36;
constexpr int kButtonWidth = 129;
constexpr int kButtonHeight = 25;
constexpr int kButtonBottomSpace = 8;
// Between the two buttons, and from them to the popup's sides.
constexpr int kButtonGap = 4;
constexpr int kButtonMargin = 8;
// One line of the text area's default font with its margins.
constexpr int kMinInfoHeight = 16;

int Scale(int pixels, int dpi) { return ::MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); }

// How many buttons of readable width share a row of a popup this wide.
int ButtonsPerRow(int width, int dpi, int buttons) {
    const int available = width - 2 * Scale(kButtonMargin, dpi);
    const int gap = Scale(kButtonGap, dpi);
    // Two at least: "Внести данные" keeps its neighbour beside it, narrowed if
    // the popup is narrower than ReadablePopupSize makes it.
    return std::clamp((available + gap) / (Scale(kMinReadableButtonWidth, dpi) + gap), std::min(2, buttons),
                      std::max(buttons, 1));
}

}  // namespace

SIZE ReadablePopupSize(SIZE size, int dpi, int buttons) {
    // One button keeps the popup's size as it always was.
    if (buttons <= 1) return size;
    // "Внести данные" and its neighbour side by side at least.
    const long width = std::max<long>(size.cx, 2 * Scale(kButtonMargin, dpi) + 2 * Scale(kMinReadableButtonWidth, dpi) +
                                                   Scale(kButtonGap, dpi));
    const int perRow = ButtonsPerRow(static_cast<int>(std::min<long>(width, 1 << 20)), dpi, buttons);
    const int rows = (buttons + perRow - 1) / perRow;
    // The strip, a line of text and the rows of buttons with their spaces.
    const long height = Scale(kInfoTop, dpi) + Scale(kMinInfoHeight, dpi) + Scale(kInfoBottomSpace, dpi) +
                        (rows - 1) * (Scale(kButtonHeight, dpi) + Scale(kButtonGap, dpi));
    return {width, std::max<long>(size.cy, height)};
}

TPopupParts PopupParts(int width, int height, int dpi, bool crmShown, bool callbackShown) {
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); };
    TPopupParts parts;
    parts.TitleStripBottom = scaled(kStrip);
    parts.Icon = {scaled(kIconLeft), scaled(kIconTop), scaled(kIconLeft) + scaled(kIconSize),
                  scaled(kIconTop) + scaled(kIconSize)};
    parts.Title = {scaled(kTitleLeft), scaled(kTitleTop), width - scaled(kFrameInset), parts.TitleStripBottom};
    parts.InnerFrame = {scaled(kFrameInset), parts.TitleStripBottom, width - scaled(kFrameInset),
                        height - scaled(kFrameInset)};
    parts.Info = {scaled(kInfoInset), scaled(kInfoTop), std::max(scaled(kInfoInset), width - scaled(kInfoInset)),
                  std::max(scaled(kInfoTop), height - scaled(kInfoBottomSpace))};
    const int copyLeft = width - scaled(kCopyRightSpace);
    parts.Copy = {copyLeft, scaled(kInfoTop), copyLeft + scaled(kCopySize), scaled(kInfoTop) + scaled(kCopySize)};

    // Anchored to the bottom only: the button keeps its size and its centre keeps
    // its share of the width. With "Перезвонить" or "Открыть в CRM" beside it,
    // each row shares that centre, each button narrowed as far as the width needs.
    const int centre = ::MulDiv(kButtonLeft + kButtonWidth / 2, width, kDesignWidth);
    const int buttonHeight = scaled(kButtonHeight);
    const int top = height - scaled(kButtonBottomSpace) - buttonHeight;
    const int buttonWidth = scaled(kButtonWidth);
    if (!crmShown && !callbackShown) {
        const int left = centre - buttonWidth / 2;
        parts.EditData = {left, top, left + buttonWidth, top + buttonHeight};
        return parts;
    }
    const int gap = scaled(kButtonGap);
    std::vector<RECT*> buttons{&parts.EditData};
    if (callbackShown) buttons.push_back(&parts.Callback);
    if (crmShown) buttons.push_back(&parts.Crm);
    const int count = static_cast<int>(buttons.size());
    const int perRow = ButtonsPerRow(width, dpi, count);
    const int rows = (count + perRow - 1) / perRow;
    const int each = std::clamp((width - 2 * scaled(kButtonMargin) - (perRow - 1) * gap) / perRow, 0, buttonWidth);
    for (int i = 0; i < count; ++i) {
        const int row = i / perRow;
        const int inRow = std::min(perRow, count - row * perRow);
        const int left = centre - (inRow * each + (inRow - 1) * gap) / 2 + (i % perRow) * (each + gap);
        const int rowTop = top - (rows - 1 - row) * (buttonHeight + gap);
        *buttons[static_cast<size_t>(i)] = {left, rowTop, left + each, rowTop + buttonHeight};
    }
    // The text area gives way to the rows above the bottom one.
    parts.Info.bottom = std::max(parts.Info.top, parts.Info.bottom - (rows - 1) * (buttonHeight + gap));
    return parts;
}
