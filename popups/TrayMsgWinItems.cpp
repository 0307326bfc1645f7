#include "TrayMsgWinItems.h"

#include "AppError.h"
#include "TextCompare.h"

#include <windows.h>

#include <algorithm>

void TTrayMsgWinItem::SetText(std::wstring& field, const std::wstring& value) {
    if (field == value) return;
    field = value;
    Changed(false);
}

void TTrayMsgWinItem::SetTitle(const std::wstring& value) { SetText(FTitle, value); }
void TTrayMsgWinItem::SetClipboardText(const std::wstring& value) { SetText(FClipboardText, value); }
void TTrayMsgWinItem::SetWinID(const std::wstring& value) { SetText(FWinID, value); }
void TTrayMsgWinItem::SetSimpleText(const std::wstring& value) { SetText(FSimpleText, value); }

void TTrayMsgWinItem::SetVisible(bool value) {
    if (FVisible == value) return;
    FVisible = value;
    Changed(false);
}

void TTrayMsgWinItem::Changed(bool allItems) {
    if (FCollection && FCollection->UpdateCount() == 0) FCollection->Update(allItems ? nullptr : this);
}

void TTrayMsgWinItem::Assign(const TTrayMsgWinItem& source) {
    FTitle = source.FTitle;
    FSimpleText = source.FSimpleText;
    FClipboardText = source.FClipboardText;
    FWinID = source.FWinID;
    FVisible = source.FVisible;
    Caller = source.Caller;
    IsPreview = source.IsPreview;
    UseRichText = source.UseRichText;
    Changed(false);
}

void TTrayMsgWinItem::Free() {
    if (FCollection) {
        FCollection->FreeItem(this);
        return;
    }
    delete this;
}

TTrayMsgWinCollection::~TTrayMsgWinCollection() {
    // Destroying the collection notifies nobody.
    FUpdateCount = 1;
    while (!FItems.empty()) {
        FItems.back()->FCollection = nullptr;
        FItems.pop_back();
    }
}

TTrayMsgWinItem* TTrayMsgWinCollection::Add() {
    std::unique_ptr<TTrayMsgWinItem> item(new TTrayMsgWinItem());
    TTrayMsgWinItem* added = item.get();
    added->FCollection = this;
    FItems.push_back(std::move(item));
    added->FID = FNextID++;
    if (FUpdateCount == 0) Update(nullptr);
    return added;
}

TTrayMsgWinItem* TTrayMsgWinCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw AppError(L"List index out of bounds (" + std::to_wstring(index) + L")");
    return FItems[static_cast<size_t>(index)].get();
}

TTrayMsgWinItem* TTrayMsgWinCollection::FindItemWinID(const std::wstring& winID) const {
    for (const auto& item : FItems)
        if (SameTextIgnoringCase(item->WinID(), winID)) return item.get();
    return nullptr;
}

TTrayMsgWinItem* TTrayMsgWinCollection::FindItemID(int32_t id) const {
    for (const auto& item : FItems)
        if (item->ID() == id) return item.get();
    return nullptr;
}

void TTrayMsgWinCollection::EndUpdate() {
    --FUpdateCount;
    if (FUpdateCount == 0) Update(nullptr);
}

void TTrayMsgWinCollection::Clear() {
    if (FItems.empty()) return;
    TTrayMsgWinUpdateBracket bracket(*this);
    while (!FItems.empty()) FreeItem(FItems.back().get());
}

void TTrayMsgWinCollection::Update(TTrayMsgWinItem* item) {
    if (FOwner) FOwner->UpdateFormTMW(item);
}

void TTrayMsgWinCollection::FreeItem(TTrayMsgWinItem* item) {
    auto found = std::find_if(FItems.begin(), FItems.end(), [item](const auto& owned) { return owned.get() == item; });
    if (found == FItems.end()) return;
    // The item leaves the list before the owner hears of it, and is released after.
    std::unique_ptr<TTrayMsgWinItem> removed = std::move(*found);
    FItems.erase(found);
    removed->FCollection = nullptr;
    if (FUpdateCount == 0) Update(nullptr);
}
