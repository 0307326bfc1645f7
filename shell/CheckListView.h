#pragma once
#include "ChannelList.h"

#include <windows.h>

#include <string>
#include <vector>

// A list view with check boxes used as a check list of channel names.
class CheckListView {
public:
    CheckListView() = default;
    explicit CheckListView(HWND control);

    HWND Handle() const { return control_; }
    int Count() const;
    std::wstring Text(int index) const;
    void SetText(int index, const std::wstring& text);
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    // Replaces every item; drawing is suspended meanwhile (also when an error passes).
    void SetItems(const std::vector<ChannelListItem>& items);
    std::vector<std::wstring> Texts() const;

private:
    HWND control_ = nullptr;
};
