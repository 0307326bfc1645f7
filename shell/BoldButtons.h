#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <vector>

// Buttons of a dialog whose caption is bold exactly when the setting they
// stand for is (the "Ж" buttons of the popups' lines), each usable only while
// the check box of its line is checked.
class TBoldButtons {
public:
    struct TLine {
        int CheckBox;
        int BoldButton;
    };

    void Attach(HWND dialog, std::vector<TLine> lines);
    // A click on a line's check box or button: the button follows (enabled with
    // the box, or its caption's weight toggled). False for any other control.
    bool Click(int controlId);
    // Every button enabled as its line's check box says.
    void FollowCheckBoxes();
    void Set(int buttonId, bool bold);
    bool IsBold(int buttonId) const;
    // The dialog's font changed (after a move to a monitor of another DPI): the bold captions follow it.
    void FontChanged();

private:
    int IndexOf(int buttonId) const;

    HWND FDialog = nullptr;
    std::vector<int> FIds;
    std::vector<int> FCheckBoxes;
    std::vector<bool> FBold;
    UniqueGdiObject FFont;
};
