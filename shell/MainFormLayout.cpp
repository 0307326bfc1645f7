#include "MainFormLayout.h"

#include "MainFormRes.h"
#include "NameSources.h"
#include "WindowPlacement.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr int kClientWidth = 784;
constexpr int kClientHeight = 511;
// The dialog template's size in dialog units (MainForm.rc).
constexpr int kTemplateWidth = 522;
constexpr int kTemplateHeight = 314;

}  // namespace

HWND LayOutMainForm(HWND dialog, HINSTANCE instance, int gap) {
    AddNameSourceButtons(dialog, instance);
    const HWND statusBar =
        ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUSBAR)), instance, nullptr);
    int parts[] = {-1};
    ::SendMessageW(statusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

    // The dialog font does not grow exactly with the DPI (at 120 DPI it grows
    // faster): the area is never smaller than the template, so that no control is cut off.
    SizeClientAndCentre(dialog, kClientWidth, kClientHeight, {kTemplateWidth, kTemplateHeight});
    ::SendMessageW(statusBar, WM_SIZE, 0, 0);

    // The bottom row of buttons sits just above the status line, whatever the
    // dialog units come to on this machine.
    RECT status{};
    ::GetWindowRect(statusBar, &status);
    RECT client{};
    ::GetClientRect(dialog, &client);
    const int rowBottom = client.bottom - (status.bottom - status.top) - gap;
    std::vector<int> row{IDC_BTNABOUT, IDC_BTNEXIT, IDC_BTNOK, IDC_BTNCANCEL, IDC_BTNAPPLY};
    for (const TNameSource& source : NameSources())
        if (source.Button.BottomRow) row.push_back(source.Button.Id);
    for (int id : row) {
        HWND button = ::GetDlgItem(dialog, id);
        RECT bounds{};
        ::GetWindowRect(button, &bounds);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&bounds), 2);
        ::SetWindowPos(button, nullptr, bounds.left, rowBottom - (bounds.bottom - bounds.top), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return statusBar;
}
