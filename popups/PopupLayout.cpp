#include "PopupLayout.h"

#include <algorithm>
#include <cmath>

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
