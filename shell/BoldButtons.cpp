#include "BoldButtons.h"

#include <utility>

void TBoldButtons::Attach(HWND dialog, std::vector<TLine> lines) {
    FDialog = dialog;
    FIds.clear();
    FCheckBoxes.clear();
    for (const TLine& line : lines) {
        FIds.push_back(line.BoldButton);
        FCheckBoxes.push_back(line.CheckBox);
    }
    FBold.assign(FIds.size(), false);
    FontChanged();
}

bool TBoldButtons::Click(int controlId) {
    for (size_t i = 0; i < FIds.size(); ++i) {
        if (FCheckBoxes[i] == controlId) {
            ::EnableWindow(::GetDlgItem(FDialog, FIds[i]), ::IsDlgButtonChecked(FDialog, controlId) == BST_CHECKED);
            return true;
        }
        if (FIds[i] == controlId) {
            Set(controlId, !FBold[i]);
            return true;
        }
    }
    return false;
}

void TBoldButtons::FollowCheckBoxes() {
    for (int checkBox : FCheckBoxes) Click(checkBox);
}

int TBoldButtons::IndexOf(int buttonId) const {
    for (size_t i = 0; i < FIds.size(); ++i)
        if (FIds[i] == buttonId) return static_cast<int>(i);
    return -1;
}

void TBoldButtons::FontChanged() {
    LOGFONTW bold{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(FDialog, WM_GETFONT, 0, 0)), sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    UniqueGdiObject font(::CreateFontIndirectW(&bold));
    // The buttons let go of the old font before it is deleted.
    for (size_t i = 0; i < FIds.size(); ++i)
        if (FBold[i])
            ::SendMessageW(::GetDlgItem(FDialog, FIds[i]), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    FFont = std::move(font);
}

void TBoldButtons::Set(int buttonId, bool bold) {
    const int index = IndexOf(buttonId);
    if (index < 0) return;
    FBold[static_cast<size_t>(index)] = bold;
    const auto font = bold && FFont ? reinterpret_cast<HFONT>(FFont.get())
                                    : reinterpret_cast<HFONT>(::SendMessageW(FDialog, WM_GETFONT, 0, 0));
    ::SendMessageW(::GetDlgItem(FDialog, buttonId), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool TBoldButtons::IsBold(int buttonId) const {
    const int index = IndexOf(buttonId);
    return index >= 0 && FBold[static_cast<size_t>(index)];
}
