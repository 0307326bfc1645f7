#pragma once
#include "PopupLayout.h"

// The popup manager's settings with their built-in defaults. Kept apart from the
// manager so that the settings file can be read and written without windows.
// Nonsense values are kept as set (they go back to the settings file unchanged)
// and tamed where they are used: see PlacePopup.
struct TTrayMsgWinsSettings {
    TTrayMsgPos TrayMsgPos = tmpRighBottom;
    TTrayMsgAnimate TrayMsgAnimate = tmaVertical;
    int WinWidth = 182;
    int WinHeight = 162;
    int Displacement = 182;
    int Rows = 4;
    bool IsPhoneShowed = true;
    bool IsNameShowed = true;
    bool IsRegionShowed = true;
    bool IsCommentShowed = true;
    bool IsPhoneBold = false;
    bool IsNameBold = false;
    bool IsRegionBold = false;
    bool IsCommentBold = false;
};
