#pragma once
#include "FormTMW.h"
#include "MonitorPlacement.h"
#include "PopupLayout.h"
#include "TMWFont.h"
#include "TrayMsgWinItems.h"
#include "TrayMsgWinsSettings.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

// The popup manager: keeps exactly one popup window for each visible item of
// Items, places new windows in a column at a corner of the primary display's
// work area and makes an item invisible when the user closes its window.
// UI thread only. The layout and content settings are plain fields: they take
// effect for windows created afterwards (the content flags also at the next
// refresh of a window).
class TTrayMsgWins final : public TTrayMsgWinsSettings, public ITrayMsgWinsOwner {
public:
    TTrayMsgWins();
    // Frees every window (newest first), then the items, which notify nobody.
    ~TTrayMsgWins();
    TTrayMsgWins(const TTrayMsgWins&) = delete;
    TTrayMsgWins& operator=(const TTrayMsgWins&) = delete;

    // The settings (TTrayMsgWinsSettings, with their built-in defaults) are the
    // manager's own plain fields: the settings store reads and writes them here.
    TTrayMsgWinsSettings& Settings() { return *this; }
    const TTrayMsgWinsSettings& Settings() const { return *this; }

    TTrayMsgWinCollection& Items() { return *FItems; }
    const TTrayMsgWinCollection& Items() const { return *FItems; }

    // Font of the text of new windows. The attributes are copied; null is ignored.
    const TTMWFont& Font() const { return FFont; }
    void SetFont(const TTMWFont* font);

    // "Внести данные" in any popup calls this with the window's caller data.
    void SetOnEditData(TTMWForm::TEditDataEvent handler);
    // "Открыть в CRM" of every popup, open ones included; null hides the button.
    void SetOnOpenCrm(TTMWForm::TOpenCrmEvent handler);
    // "Перезвонить" of every popup, open ones included; null hides the button.
    void SetOnCallBack(TTMWForm::TOpenCrmEvent handler);

    // Asked before a window is made: while it answers true no new popup appears
    // (the items stay, so that a popup comes once it answers false again and the
    // item changes). Windows already on the screen are kept.
    void SetHoldBack(std::function<bool()> holdBack) { FHoldBack = std::move(holdBack); }

    // Whether the item has a window and that window is visible.
    bool IsFormTMWVisible(const TTrayMsgWinItem* item) const;

    // The collection's notification: one item, or null for all of them.
    void UpdateFormTMW(TTrayMsgWinItem* item) override;

    // The window of an item, or null; the open windows, oldest first.
    TTMWForm* FindFormTMW(const TTrayMsgWinItem* item) const;
    const std::vector<TTMWForm*>& Windows() const { return FList; }
    // Row of the next new window.
    int RowIndex() const { return FRowIndex; }

    // Replaceable for tests: the primary display's work area (asked anew for
    // every window; set, it stands for all monitors) and the windows' millisecond tick counter.
    using TWorkAreaSource = std::function<RECT()>;
    void SetWorkAreaSource(TWorkAreaSource source);
    // The monitors and the pointer, asked anew for every window; the system's by default.
    using TMonitorSource = std::function<std::vector<TMonitor>()>;
    using TPointerSource = std::function<POINT()>;
    void SetMonitorSource(TMonitorSource monitors, TPointerSource pointer) {
        FMonitorSource = std::move(monitors);
        FPointerSource = std::move(pointer);
    }
    void SetTickSource(TTMWForm::TTickSource source) { FTickSource = std::move(source); }

private:
    void CreateFormTMW(TTrayMsgWinItem* item);
    void FillContent(TTMWForm& form, const TTrayMsgWinItem& item);
    void FillText(TTMWForm& form, const TTrayMsgWinItem& item);
    void DoTMWDestroy(TTMWForm* sender);
    void FreeForm(TTMWForm* form);

    int FRowIndex = 0;
    std::vector<TTMWForm*> FList;  // each window frees itself, and leaves here through DoTMWDestroy
    std::unique_ptr<TTrayMsgWinCollection> FItems;
    TTMWFont FFont;
    TTMWForm::TEditDataEvent FOnEditData;
    TTMWForm::TOpenCrmEvent FOnOpenCrm;
    TTMWForm::TOpenCrmEvent FOnCallBack;
    std::function<bool()> FHoldBack;
    TWorkAreaSource FWorkAreaSource;
    TMonitorSource FMonitorSource;
    TPointerSource FPointerSource;
    TTMWForm::TTickSource FTickSource;
};

// The primary display's work area: the screen less the task bars.
RECT PrimaryWorkArea();
// The monitors attached now, each with its work area, DPI and number.
std::vector<TMonitor> AttachedMonitors();
