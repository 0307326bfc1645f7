#pragma once
#include "PopupLayout.h"

// The popup manager's settings with their built-in defaults. Kept apart from the
// manager so that the settings file can be read and written without windows.
// Nonsense values are kept as set (they go back to the settings file unchanged)
// and tamed where they are used: see PlacePopup.
struct TTrayMsgWinsSettings {
    TTrayMsgPos TrayMsgPos = kDefaultTrayMsgPos;
    TTrayMsgAnimate TrayMsgAnimate = kDefaultTrayMsgAnimate;
    int WinWidth = kDefaultPopupWidth;
    int WinHeight = kDefaultPopupHeight;
    int Displacement = kDefaultPopupDisplacement;
    int Rows = 4;
    // Which monitor the popups go to (MonitorPlacement.h): the primary one by default.
    int Monitor = 0;
    bool IsPhoneShowed = true;
    bool IsNameShowed = true;
    bool IsRegionShowed = true;
    bool IsCommentShowed = true;
    bool IsPhoneBold = false;
    bool IsNameBold = false;
    bool IsRegionBold = false;
    bool IsCommentBold = false;
};
