#include "SettingsChoices.h"

#include "EditFilters.h"
#include "MainFormRes.h"
#include "PopupMonitorRes.h"
#include "ResourceText.h"
#include "TrayMsgWins.h"
#include "UniqueHandle.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kFirstFontSize = 7;
constexpr int kLastFontSize = 18;
constexpr int kFontListRows = 16;

void AddComboItem(HWND combo, const std::wstring& text) {
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int CALLBACK AddFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    const auto combo = reinterpret_cast<HWND>(param);
    // Vertical variants ("@Name") are not faces a user picks.
    if (font->lfFaceName[0] == L'@') return TRUE;
    if (::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(font->lfFaceName)) == CB_ERR)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(font->lfFaceName));
    return TRUE;
}

void FillFontNames(HWND combo) {
    WindowDC screen(nullptr);
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(screen.get(), &all, AddFontFamily, reinterpret_cast<LPARAM>(combo), 0);
}

}  // namespace

void PrepareSettingsControls(HWND dialog, int monitorListWidth) {
    const auto item = [dialog](int id) { return ::GetDlgItem(dialog, id); };
    for (UINT id : {IDS_POS_LEFTTOP, IDS_POS_RIGHTTOP, IDS_POS_LEFTBOTTOM, IDS_POS_RIGHTBOTTOM})
        AddComboItem(item(IDC_CBTMWPOS), LoadResourceString(id));
    // The primary monitor, the one with the pointer, then each monitor by the number Windows gives it.
    AddComboItem(item(IDC_CBMONITOR), LoadResourceString(IDS_MONITOR_PRIMARY));
    AddComboItem(item(IDC_CBMONITOR), LoadResourceString(IDS_MONITOR_POINTER));
    int monitors = 1;
    for (const TMonitor& monitor : AttachedMonitors()) monitors = std::max(monitors, std::min(monitor.Number, 32));
    for (int number = 1; number <= monitors; ++number)
        AddComboItem(item(IDC_CBMONITOR), FormatResourceString(IDS_MONITOR_NUMBER, std::to_wstring(number)));
    ::SendMessageW(item(IDC_CBMONITOR), CB_SETDROPPEDWIDTH, static_cast<WPARAM>(monitorListWidth), 0);
    for (UINT id : {IDS_ANIMATE_NONE, IDS_ANIMATE_VERTICAL, IDS_ANIMATE_HORIZONTAL})
        AddComboItem(item(IDC_CBTMWSTYLE), LoadResourceString(id));
    // In TCrmOpenMode's order.
    for (UINT id : {IDS_CRM_NEVER, IDS_CRM_BUTTON, IDS_CRM_ONANSWER})
        AddComboItem(item(IDC_CBCRMOPENMODE), LoadResourceString(id));
    for (int size = kFirstFontSize; size <= kLastFontSize; ++size)
        AddComboItem(item(IDC_CBFONTSIZES), std::to_wstring(size));
    for (int id : {IDC_CBFONTNAMES, IDC_CBFONTSIZES}) ::SendMessageW(item(id), CB_SETMINVISIBLE, kFontListRows, 0);
    FillFontNames(item(IDC_CBFONTNAMES));

    for (int id : {IDC_LECOUNTRYCODE, IDC_LECITYCODE, IDC_EDITTWMWIDTH, IDC_EDITTWMHEIGHT, IDC_EDITTWMROWS,
                   IDC_EDITTWMDISP})
        InstallEditFilter(item(id), TEditFilter::Digits);
    for (int id : {IDC_LECITYPREFIX, IDC_LELONGDISTANCECARRIERCODE, IDC_LEINTERNATIONALCARRIERCODE})
        InstallEditFilter(item(id), TEditFilter::Prefix);
    KeepEnterKey(item(IDC_CLBCHANNELS));
    ::SendMessageW(item(IDC_PORTSPIN), UDM_SETRANGE32, 1, 65535);
}
