#include "EnforcedControls.h"

#include "MainFormRes.h"
#include "UniqueHandle.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

namespace {

struct TCompanions {
    int Control;
    int Others[2];
};
constexpr TCompanions kCompanions[] = {
    {IDC_LESERVER, {IDC_BTNSELECTSERVER, 0}},
    {IDC_LEAREAPATH, {IDC_BTNBROWSEAREAPATH, 0}},
    {IDC_LEABONENTPATH, {IDC_BTNBROWSEABONENTPATH, 0}},
    {IDC_DBTYPE_CLIENT, {IDC_DBTYPE_SERVER, 0}},
    {IDC_ADDRESSLABELEDEDIT, {IDC_SELECTADDRESSBUTTON, 0}},
    {IDC_PORTSPINEDIT, {IDC_PORTSPIN, IDC_SETDEFAULTPORTBUTTON}},
};

}  // namespace

std::vector<int> SettingControls(const TSettingRow& row) {
    std::vector<int> controls;
    if (row.ControlId == 0) return controls;
    controls.push_back(row.ControlId);
    const auto found = std::find_if(std::begin(kCompanions), std::end(kCompanions),
                                    [&](const TCompanions& entry) { return entry.Control == row.ControlId; });
    if (found != std::end(kCompanions))
        for (int other : found->Others)
            if (other != 0) controls.push_back(other);
    return controls;
}

void DisableEnforcedControls(HWND dialog, const TEnforcedSettings& enforced) {
    for (const auto& row : SettingsTable())
        if (enforced.Has(row))
            for (int id : SettingControls(row)) ::EnableWindow(::GetDlgItem(dialog, id), FALSE);
}

void DisableEnforcedPartControls(HWND dialog, TSettingsPart part, const TEnforcedSettings& enforced) {
    for (const auto& row : SettingsTable())
        if (row.Part == part && enforced.Has(row))
            for (int id : SettingControls(row)) ::EnableWindow(::GetDlgItem(dialog, id), FALSE);
}

void ShowEnforcedNote(HWND statusBar, const std::wstring& note) {
    SIZE extent{};
    {
        WindowDC dc(statusBar);
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(statusBar, WM_GETFONT, 0, 0));
        const HGDIOBJ old = ::SelectObject(dc.get(), font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
        ::GetTextExtentPoint32W(dc.get(), note.c_str(), static_cast<int>(note.size()), &extent);
        ::SelectObject(dc.get(), old);
    }
    RECT client{};
    ::GetClientRect(statusBar, &client);
    // Room for the part's borders and the size grip's side.
    const int margin = ::MulDiv(24, static_cast<int>(::GetDpiForWindow(statusBar)), 96);
    int parts[] = {std::max(0, static_cast<int>(client.right - extent.cx) - margin), -1};
    ::SendMessageW(statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    ::SendMessageW(statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(note.c_str()));
}
