#pragma once
#include "Caller.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class TTrayMsgWinItem;

// Receives every change of the popup items; the popup manager implements it.
// Item null means that anything may have changed.
class ITrayMsgWinsOwner {
public:
    virtual void UpdateFormTMW(TTrayMsgWinItem* item) = 0;

protected:
    ~ITrayMsgWinsOwner() = default;
};

class TTrayMsgWinCollection;

// One popup's content, and whether a window is wanted for it. The first five
// properties notify the collection when they change; the others are plain fields
// that the next notification brings to the window.
class TTrayMsgWinItem {
public:
    const std::wstring& Title() const { return FTitle; }
    void SetTitle(const std::wstring& value);
    const std::wstring& ClipboardText() const { return FClipboardText; }
    void SetClipboardText(const std::wstring& value);
    const std::wstring& WinID() const { return FWinID; }
    void SetWinID(const std::wstring& value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    const std::wstring& SimpleText() const { return FSimpleText; }
    void SetSimpleText(const std::wstring& value);

    // The lines of the popup once a caller ID came (UseRichText).
    TCaller Caller;
    bool IsPreview = false;
    bool UseRichText = false;

    int32_t ID() const { return FID; }
    TTrayMsgWinCollection* Collection() const { return FCollection; }

    // Notifies the collection unless an update bracket is open.
    void Changed(bool allItems);
    // Copies every field from source, then notifies once.
    void Assign(const TTrayMsgWinItem& source);
    // Removes the item from its collection and frees it; the manager then closes its window.
    void Free();

private:
    friend class TTrayMsgWinCollection;
    TTrayMsgWinItem() = default;
    void SetText(std::wstring& field, const std::wstring& value);

    std::wstring FTitle;
    std::wstring FClipboardText;
    std::wstring FWinID;
    bool FVisible = false;
    std::wstring FSimpleText;
    int32_t FID = 0;
    TTrayMsgWinCollection* FCollection = nullptr;
};

// The ordered popup items. Changes reach the owner at once, or once when the
// outermost BeginUpdate/EndUpdate bracket closes. Items belong to the UI thread.
class TTrayMsgWinCollection {
public:
    explicit TTrayMsgWinCollection(ITrayMsgWinsOwner* owner = nullptr) : FOwner(owner) {}
    ~TTrayMsgWinCollection();
    TTrayMsgWinCollection(const TTrayMsgWinCollection&) = delete;
    TTrayMsgWinCollection& operator=(const TTrayMsgWinCollection&) = delete;

    ITrayMsgWinsOwner* Owner() const { return FOwner; }

    TTrayMsgWinItem* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    // Throws AppError "List index out of bounds (%d)" outside 0..Count-1.
    TTrayMsgWinItem* Items(int index) const;

    // First item whose WinID equals winID, ignoring letter case by the user's locale.
    TTrayMsgWinItem* FindItemWinID(const std::wstring& winID) const;
    TTrayMsgWinItem* FindItemID(int32_t id) const;

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }
    void Clear();

    // The notification hook: forwards to the owner's UpdateFormTMW.
    void Update(TTrayMsgWinItem* item);

    // Removes and frees one item (TTrayMsgWinItem::Free).
    void FreeItem(TTrayMsgWinItem* item);

private:
    ITrayMsgWinsOwner* FOwner;
    std::vector<std::unique_ptr<TTrayMsgWinItem>> FItems;
    int FUpdateCount = 0;
    int32_t FNextID = 0;
};

// Closes an update bracket also when an error passes.
class TTrayMsgWinUpdateBracket {
public:
    explicit TTrayMsgWinUpdateBracket(TTrayMsgWinCollection& collection)
        : collection_(collection), exceptions_(std::uncaught_exceptions()) {
        collection_.BeginUpdate();
    }
    // While another error is passing, a failure of the closing notification is
    // dropped so that the first error is the one that reaches the caller.
    ~TTrayMsgWinUpdateBracket() noexcept(false) {
        if (std::uncaught_exceptions() > exceptions_) {
            try {
                collection_.EndUpdate();
            } catch (...) {
            }
        } else {
            collection_.EndUpdate();
        }
    }
    TTrayMsgWinUpdateBracket(const TTrayMsgWinUpdateBracket&) = delete;
    TTrayMsgWinUpdateBracket& operator=(const TTrayMsgWinUpdateBracket&) = delete;

private:
    TTrayMsgWinCollection& collection_;
    int exceptions_;
};
