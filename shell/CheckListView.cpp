#include "CheckListView.h"

#include <commctrl.h>

namespace {

// Resumes drawing of a control when the scope ends.
class RedrawSuspension {
public:
    explicit RedrawSuspension(HWND control) : control_(control) { ::SendMessageW(control_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawSuspension() {
        ::SendMessageW(control_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(control_, nullptr, TRUE);
    }
    RedrawSuspension(const RedrawSuspension&) = delete;
    RedrawSuspension& operator=(const RedrawSuspension&) = delete;

private:
    HWND control_;
};

}  // namespace

CheckListView::CheckListView(HWND control) : control_(control) {
    ListView_SetExtendedListViewStyle(control_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT client{};
    ::GetClientRect(control_, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
    ListView_InsertColumn(control_, 0, &column);
}

int CheckListView::Count() const { return ListView_GetItemCount(control_); }

std::wstring CheckListView::Text(int index) const {
    std::wstring text(256, L'\0');
    while (true) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<size_t>(
            ::SendMessageW(control_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

void CheckListView::SetText(int index, const std::wstring& text) {
    std::wstring copy = text;
    ListView_SetItemText(control_, index, 0, copy.data());
}

bool CheckListView::Checked(int index) const { return ListView_GetCheckState(control_, index) != FALSE; }

void CheckListView::SetChecked(int index, bool checked) { ListView_SetCheckState(control_, index, checked); }

void CheckListView::SetItems(const std::vector<ChannelListItem>& items) {
    RedrawSuspension suspension(control_);
    ListView_DeleteAllItems(control_);
    for (size_t i = 0; i < items.size(); ++i) {
        std::wstring text = items[i].name;
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        const int at = ListView_InsertItem(control_, &item);
        if (at >= 0) ListView_SetCheckState(control_, at, items[i].checked);
    }
}

std::vector<std::wstring> CheckListView::Texts() const {
    std::vector<std::wstring> texts;
    const int count = Count();
    for (int i = 0; i < count; ++i) texts.push_back(Text(i));
    return texts;
}
