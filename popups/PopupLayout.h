#pragma once
#include <windows.h>

#include <cstdint>

// Corner of the work area where the column of popups stands. The ordinal values
// are what the settings file keeps.
enum TTrayMsgPos : int { tmpLeftTop = 0, tmpRighTop = 1, tmpLeftBottom = 2, tmpRighBottom = 3 };

// How a new popup enters the screen.
enum TTrayMsgAnimate : int { tmaNone = 0, tmaVertical = 1, tmaHorizontal = 2 };

// Values outside the enumerations (a hand-edited settings file) act as the defaults.
TTrayMsgPos EffectiveTrayMsgPos(TTrayMsgPos pos);
TTrayMsgAnimate EffectiveTrayMsgAnimate(TTrayMsgAnimate animate);

// Smallest popup that still shows its title strip, a line of text and its buttons.
constexpr int kMinPopupWidth = 60;
constexpr int kMinPopupHeight = 60;

// Where one new popup goes and where its slide starts.
struct TPopupPlacement {
    SIZE Size{};   // the size actually used
    int Row = 0;   // the row actually used
    POINT End{};   // resting place
    POINT Start{}; // first place of the slide
};

// The built-in layout of a popup, in pixels at 96 DPI.
constexpr TTrayMsgPos kDefaultTrayMsgPos = tmpRighBottom;
constexpr TTrayMsgAnimate kDefaultTrayMsgAnimate = tmaVertical;
constexpr int kDefaultPopupWidth = 182;
constexpr int kDefaultPopupHeight = 162;
constexpr int kDefaultPopupDisplacement = 182;

struct TPopupLayoutSettings {
    TTrayMsgPos Pos = kDefaultTrayMsgPos;
    TTrayMsgAnimate Animate = kDefaultTrayMsgAnimate;
    int WinWidth = kDefaultPopupWidth;
    int WinHeight = kDefaultPopupHeight;
    int Displacement = kDefaultPopupDisplacement;
};

// Places the popup for row `row` of the column at the chosen corner of workArea.
// Nonsense settings are tamed so that the popup lies wholly inside the work
// area: the size is kept between the minimum and the work area's size, the
// left edge is kept inside it, and a row that would stick out is replaced by row 0.
TPopupPlacement PlacePopup(const RECT& workArea, const TPopupLayoutSettings& settings, int row);

// The parts of a popup whose client area is width x height pixels, at `dpi`:
// designed in pixels at 96 DPI, scaled, with the buttons anchored to the
// bottom and centred on the same share of the width at any size.
struct TPopupParts {
    int TitleStripBottom = 0;  // the strip runs from the top to here; dragging it moves the popup
    RECT Icon{};               // the program's icon in the strip
    RECT Title{};              // the title's text
    RECT InnerFrame{};         // the blue frame round the text area
    RECT Info{};               // the text area
    RECT Copy{};               // the copy button over the text area's top right corner
    RECT EditData{};           // "Внести данные"
    RECT Crm{};                // "Открыть в CRM" beside it; empty when not shown
    RECT Callback{};           // "Перезвонить" beside "Внести данные"; empty when not shown
};
// With more than one button, as many share a row as fit at a readable width
// (the rest go to rows above, the text area giving way); "Внести данные" and
// "Перезвонить" first, so that they stand side by side.
TPopupParts PopupParts(int width, int height, int dpi, bool crmShown, bool callbackShown = false);

// Narrowest width of a button whose caption must stay readable, at 96 DPI: the
// longest caption ("Открыть в CRM", 81 pixels in the popup's Tahoma) and the button's edges.
constexpr int kMinReadableButtonWidth = 88;
// The popup's size grown where needed so that `buttons` buttons (more than one)
// keep readable captions at `dpi` and a line of text stays above them; a larger
// size, and any size for a single button, is kept.
SIZE ReadablePopupSize(SIZE size, int dpi, int buttons);

// The row for the popup after one placed in `row`: wraps to 0 at `rows` (0 when rows <= 1).
int NextRowIndex(int row, int rows);

// One step of the slide: the place `elapsedMs` after the first tick, for a slide
// that covers (xLeng, yLeng) and ends at `end` after 250 ms along a quarter sine.
POINT SlidePosition(POINT end, int xLeng, int yLeng, uint32_t elapsedMs);
constexpr uint32_t kSlideDurationMs = 250;
