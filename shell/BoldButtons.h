#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <vector>

// Buttons of a dialog whose caption is bold exactly when the setting they
// stand for is (the "Ж" buttons of the popups' lines).
class TBoldButtons {
public:
    void Attach(HWND dialog, std::vector<int> buttonIds);
    void Set(int buttonId, bool bold);
    bool IsBold(int buttonId) const;
    // The dialog's font changed (after a move to a monitor of another DPI): the bold captions follow it.
    void FontChanged();

private:
    int IndexOf(int buttonId) const;

    HWND FDialog = nullptr;
    std::vector<int> FIds;
    std::vector<bool> FBold;
    UniqueGdiObject FFont;
};
