#include "TrayMsgWins.h"

#include <algorithm>

RECT PrimaryWorkArea() {
    RECT area{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return area;
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

RECT TTrayMsgWins::WorkArea() const { return FWorkAreaSource ? FWorkAreaSource() : PrimaryWorkArea(); }

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
        // The settings are pixels at 96 DPI: a popup covers the same share of
        // the screen at any DPI.
        const int dpi = static_cast<int>(::GetDpiForSystem());
        TPopupLayoutSettings layout;
        layout.Pos = TrayMsgPos;
        layout.Animate = TrayMsgAnimate;
        // Grown where the buttons it may show would no longer be readable.
        const SIZE readable = ReadablePopupSize({::MulDiv(WinWidth, dpi, 96), ::MulDiv(WinHeight, dpi, 96)}, dpi,
                                                1 + (FOnOpenCrm ? 1 : 0) + (FOnCallBack ? 1 : 0));
        layout.WinWidth = static_cast<int>(readable.cx);
        layout.WinHeight = static_cast<int>(readable.cy);
        layout.Displacement = ::MulDiv(Displacement, dpi, 96);
        const TPopupPlacement placement = PlacePopup(WorkArea(), layout, FRowIndex);

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
