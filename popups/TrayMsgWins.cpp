#include "TrayMsgWins.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <string_view>

RECT PrimaryWorkArea() {
    RECT area{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return area;
}

namespace {

// The N of a device name such as \\.\DISPLAY2; 0 without one.
int DisplayNumber(const wchar_t* device) {
    std::wstring_view name(device);
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= L'0' && name[digits - 1] <= L'9') --digits;
    int number = 0;
    for (size_t i = digits; i < name.size() && number < 1000; ++i) number = number * 10 + (name[i] - L'0');
    return number;
}

BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data) {
    auto& monitors = *reinterpret_cast<std::vector<TMonitor>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(handle, &info)) return TRUE;
    TMonitor monitor;
    monitor.Bounds = info.rcMonitor;
    monitor.WorkArea = info.rcWork;
    monitor.Primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    monitor.Number = DisplayNumber(info.szDevice);
    UINT dpiX = 0, dpiY = 0;
    monitor.Dpi = SUCCEEDED(::GetDpiForMonitor(handle, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) && dpiX > 0
                      ? static_cast<int>(dpiX)
                      : static_cast<int>(::GetDpiForSystem());
    monitors.push_back(monitor);
    return TRUE;
}

}  // namespace

std::vector<TMonitor> AttachedMonitors() {
    std::vector<TMonitor> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

TTrayMsgWins::TTrayMsgWins()
    : FItems(std::make_unique<TTrayMsgWinCollection>(this)), FFont(TTMWFont::Default()) {}

TTrayMsgWins::~TTrayMsgWins() {
    // Each window's end runs DoTMWDestroy, which takes it out of FList.
    while (!FList.empty()) FreeForm(FList.back());
    FItems.reset();
}

void TTrayMsgWins::SetFont(const TTMWFont* font) {
    if (font) FFont = *font;
}

void TTrayMsgWins::SetOnEditData(TTMWForm::TEditDataEvent handler) {
    FOnEditData = std::move(handler);
    for (TTMWForm* form : FList) form->OnEditData = FOnEditData;
}

void TTrayMsgWins::SetOnOpenCrm(TTMWForm::TOpenCrmEvent handler) {
    FOnOpenCrm = std::move(handler);
    for (TTMWForm* form : FList) {
        form->OnOpenCrm = FOnOpenCrm;
        form->OnCallBack = FOnCallBack;
        form->UpdateCrmButton();
    }
}

void TTrayMsgWins::SetOnCallBack(TTMWForm::TOpenCrmEvent handler) {
    FOnCallBack = std::move(handler);
    for (TTMWForm* form : FList) {
        form->OnCallBack = FOnCallBack;
        form->UpdateCrmButton();
    }
}

void TTrayMsgWins::SetWorkAreaSource(TWorkAreaSource source) { FWorkAreaSource = std::move(source); }


TTMWForm* TTrayMsgWins::FindFormTMW(const TTrayMsgWinItem* item) const {
    if (!item) return nullptr;
    const auto found = std::find_if(FList.rbegin(), FList.rend(),
                                    [item](const TTMWForm* form) { return form->Tag == item->ID(); });
    return found == FList.rend() ? nullptr : *found;
}

bool TTrayMsgWins::IsFormTMWVisible(const TTrayMsgWinItem* item) const {
    const TTMWForm* form = FindFormTMW(item);
    return form && ::IsWindowVisible(form->Handle());
}

void TTrayMsgWins::FreeForm(TTMWForm* form) {
    form->Free();
    // Should the window outlive DestroyWindow (it never should), forget it
    // rather than loop on it; the pointer is only compared here.
    const auto left = std::find(FList.begin(), FList.end(), form);
    if (left != FList.end()) FList.erase(left);
    if (FList.empty()) FRowIndex = 0;
}

void TTrayMsgWins::UpdateFormTMW(TTrayMsgWinItem* item) {
    if (item) {
        TTMWForm* form = FindFormTMW(item);
        if (form && item->Visible())
            FillContent(*form, *item);
        else if (form)
            FreeForm(form);
        else if (item->Visible())
            CreateFormTMW(item);
        return;
    }
    // Newest first: a freed window leaves FList at once.
    for (size_t i = FList.size(); i-- > 0;) {
        if (i >= FList.size()) continue;
        TTMWForm* form = FList[i];
        const TTrayMsgWinItem* owner = FItems->FindItemID(form->Tag);
        if (!owner || !owner->Visible()) FreeForm(form);
    }
    // Item order: new windows of several items take consecutive rows.
    for (int i = 0; i < FItems->Count(); ++i) {
        TTrayMsgWinItem* visible = FItems->Items(i);
        if (!visible->Visible()) continue;
        if (TTMWForm* form = FindFormTMW(visible))
            FillContent(*form, *visible);
        else
            CreateFormTMW(visible);
    }
}

void TTrayMsgWins::FillText(TTMWForm& form, const TTrayMsgWinItem& item) {
    if (!item.UseRichText) {
        form.SetInfoText(item.SimpleText());
        return;
    }
    form.ClearInfo();
    // The channel line always comes first; an empty value still gives its line.
    form.AddRichInfoLine(item.WinID(), false);
    if (IsPhoneShowed) form.AddRichInfoLine(item.Caller.Number, IsPhoneBold);
    if (IsNameShowed) form.AddRichInfoLine(item.Caller.Name, IsNameBold);
    if (IsRegionShowed) form.AddRichInfoLine(item.Caller.Region, IsRegionBold);
    if (IsCommentShowed) form.AddRichInfoLine(item.Caller.Comment, IsCommentBold);
}

void TTrayMsgWins::FillContent(TTMWForm& form, const TTrayMsgWinItem& item) {
    form.SetTitle(item.Title());
    form.ClipText = item.ClipboardText();
    form.Caller = item.Caller;
    form.IsPreview = item.IsPreview;
    form.Channel = item.WinID();
    form.UpdateCrmButton();
    FillText(form, item);
}

void TTrayMsgWins::CreateFormTMW(TTrayMsgWinItem* item) {
    if (!item || FindFormTMW(item) || (FHoldBack && FHoldBack())) return;
    TTMWForm* form = TTMWForm::Create(FTickSource);
    try {
        TPopupLayoutSettings layout;
        layout.Pos = TrayMsgPos;
        layout.Animate = TrayMsgAnimate;
        layout.WinWidth = WinWidth;
        layout.WinHeight = WinHeight;
        layout.Displacement = Displacement;
        // The chosen monitor's work area at its DPI; a test's work area stands for all of them.
        std::vector<TMonitor> monitors;
        POINT pointer{};
        if (!FWorkAreaSource) {
            monitors = FMonitorSource ? FMonitorSource() : AttachedMonitors();
            if (FPointerSource) pointer = FPointerSource();
            else ::GetCursorPos(&pointer);
        }
        const TPopupPlacement placement =
            PlacePopupOnMonitor(monitors, Monitor, pointer, layout, FRowIndex,
                                1 + (FOnOpenCrm ? 1 : 0) + (FOnCallBack ? 1 : 0),
                                FWorkAreaSource ? FWorkAreaSource() : PrimaryWorkArea(),
                                static_cast<int>(::GetDpiForSystem()))
                .Placement;

        form->SetTitle(item->Title());
        form->SetTextFont(FFont);
        form->ClipText = item->ClipboardText();
        form->Tag = item->ID();
        form->OnTMWDestroy = [this](TTMWForm* sender) { DoTMWDestroy(sender); };
        form->OnEditData = FOnEditData;
        form->Caller = item->Caller;
        form->IsPreview = item->IsPreview;
        form->Channel = item->WinID();
        form->OnOpenCrm = FOnOpenCrm;
        form->OnCallBack = FOnCallBack;
        form->UpdateCrmButton();
        FillText(*form, *item);

        form->EndLeft = placement.End.x;
        form->EndTop = placement.End.y;
        form->SetBounds(placement.Start.x, placement.Start.y, placement.Size.cx, placement.Size.cy);
        FList.push_back(form);
        form->ShowNoActivate();
        FRowIndex = NextRowIndex(placement.Row, Rows);
    } catch (...) {
        // The row index stays; DoTMWDestroy takes the window out of FList if it got there.
        form->Free();
        throw;
    }
}

void TTrayMsgWins::DoTMWDestroy(TTMWForm* sender) {
    const auto found = std::find(FList.rbegin(), FList.rend(), sender);
    if (found != FList.rend()) {
        const int tag = sender->Tag;
        FList.erase(std::next(found).base());
        // A user-closed popup leaves its item in place, invisible, so that later
        // events of the channel still find it and open no new popup.
        if (FItems)
            if (TTrayMsgWinItem* item = FItems->FindItemID(tag)) item->SetVisible(false);
    }
    if (FList.empty()) FRowIndex = 0;
}
