// The popup window (TTMWForm): one call's caller on the screen.
#pragma once
#include "CrmLink.h"
#include "PopupAccessible.h"
#include "PopupLayout.h"
#include "TMWFont.h"
#include "UniqueHandle.h"
#include "WindowBase.h"

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One popup on the screen: a borderless, always-on-top, translucent tool window
// without owner and task-bar button. It slides itself from where it was placed
// to (EndLeft, EndTop), can be dragged by its title strip and copies ClipText.
//
// The object lives exactly as long as its window: Free(), a close request or the
// system destroying the window deletes it, right after OnTMWDestroy has run.
//
// Screen readers get the popup's client area as an alert named with what it
// shows, its buttons as children, an alert event when it appears and a name
// change event when its text changes.
class TTMWForm final : public TWindowBase, private TPopupAccessSource {
public:
    using TNotifyEvent = std::function<void(TTMWForm* sender)>;
    // "Внести данные": the caller to edit; a preview's editor saves nothing.
    using TEditDataEvent = std::function<void(const TCaller& caller, bool isPreview)>;
    using TOpenCrmEvent = std::function<void(const TCaller& caller, const std::wstring& channel)>;
    // Millisecond tick counter; replaceable so that the slide can be tested.
    using TTickSource = std::function<uint32_t()>;

    // Creates the hidden window at its design size, timer running. Throws
    // AppError when the window cannot be created.
    static TTMWForm* Create(TTickSource tickSource = {});
    TTMWForm(const TTMWForm&) = delete;
    TTMWForm& operator=(const TTMWForm&) = delete;

    // Destroys the window now; the object is gone when this returns.
    void Free();
    // Asks the window to close; it is freed once the current message is handled.
    void Close();


    int Tag = 0;
    int EndTop = 0;
    int EndLeft = 0;
    std::wstring ClipText;
    TCaller Caller;
    bool IsPreview = false;
    TNotifyEvent OnTMWDestroy;
    // "Внести данные": opens the contact editor once there is one.
    TEditDataEvent OnEditData;
    // The call's channel, for the CRM card.
    std::wstring Channel;
    // "Открыть в CRM": null while the CRM link is off. The button shows only
    // while this is set and the call has a number; UpdateCrmButton applies it.
    TOpenCrmEvent OnOpenCrm;
    // "Перезвонить": null while calling back is off; shown as "Открыть в CRM" is.
    TOpenCrmEvent OnCallBack;
    // Shows or hides "Открыть в CRM" and "Перезвонить" as their handlers and the call's number say.
    void UpdateCrmButton();

    const std::wstring& Title() const { return FTitle; }
    void SetTitle(const std::wstring& value);
    // The text area takes over a copy of the font.
    void SetTextFont(const TTMWFont& font);
    const TTMWFont& TextFont() const { return FTextFont; }

    // Appends Line and a line break, bold or regular.
    void AddRichInfoLine(const std::wstring& line, bool isBold);
    // Replaces the whole text, in the text font; the text is never read as RTF.
    void SetInfoText(const std::wstring& text);
    void ClearInfo() { SetInfoText({}); }
    // The text area's text with CR LF line breaks.
    std::wstring InfoText() const;

    // Position and size in screen pixels, never activating the window.
    void SetBounds(int left, int top, int width, int height);
    void SetPosition(int left, int top);
    RECT BoundsRect() const;
    void ShowNoActivate();
    // What a screen reader says for the popup.
    std::wstring AccessibleName() const override;

    // One step of the slide; the 10 ms timer calls it.
    void TimerTimer();
    bool IsSliding() const { return FTimerRunning; }

    void btnCopyClick();
    void EditDataButtonClick();
    void CrmButtonClick();
    void CallbackButtonClick();

    HWND InfoRichEdit() const { return FInfoRichEdit; }
    HWND EditDataButton() const { return FEditDataButton; }
    HWND CrmButton() const { return FCrmButton; }
    bool CrmButtonShown() const;
    HWND CallbackButton() const { return FCallbackButton; }
    bool CallbackButtonShown() const;
    // The context menu of the popup outside its text area, at a screen point.
    void ShowContextMenu(POINT at);
    HWND CopyButton() const { return FCopyButton; }
    HWND CopyHint() const { return FCopyHint; }

private:
    TTMWForm() = default;
    ~TTMWForm() override = default;

    static LRESULT CALLBACK InfoSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR refData);
    static LRESULT CALLBACK CopySubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR refData);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override;
    // A button's click; false for what the window does not handle.
    bool OnCommand(int id, UINT code);

    bool FormCreate(HWND window);
    void FormPaint();
    void FormMouseDown(UINT message, WPARAM keys, POINT pointer);
    void FormMouseMove(POINT pointer);
    void FormMouseUp(UINT message);
    void FormDestroy();
    void LayoutChildren();
    // The buttons' and title's fonts at the DPI of the monitor the popup is on.
    void ApplyDpiFonts();
    // Where the title strip, the text and the buttons go at the popup's size and DPI.
    TPopupParts Parts() const;
    int Scaled(int pixels) const;
    void DrawCopyButton(const DRAWITEMSTRUCT& item);
    void ApplyTextFont();
    void ReplaceSelection(const std::wstring& text);
    uint32_t Now() const;
    HWND AccessibleWindow() const override { return FHandle; }
    std::vector<HWND> AccessibleButtons() const override;
    LRESULT GetAccessibleObject(WPARAM flags);
    // The title or text changed: one name change event once the refresh is done.
    void SpokenTextChanged();
    void AnnounceNameChange();

    HWND FInfoRichEdit = nullptr;
    HWND FEditDataButton = nullptr;
    HWND FCrmButton = nullptr;
    HWND FCallbackButton = nullptr;
    HWND FCopyButton = nullptr;
    HWND FCopyHint = nullptr;
    UniqueGdiObject FFormFont;
    UniqueGdiObject FTitleFont;
    UniqueGdiObject FInfoFont;
    UniqueGdiObject FBackgroundBrush;
    HICON FIcon = nullptr;  // shared resource icon, not destroyed
    std::wstring FTitle;
    TTMWFont FTextFont;

    bool FFirstTick = true;
    bool FTimerRunning = false;
    int FXLeng = 0;
    int FYLeng = 0;
    uint32_t FTickFirst = 0;
    TTickSource FTickSource;

    bool FMoved = false;
    int FX = 0;
    int FY = 0;
    bool FCopyHot = false;

    // Created when a screen reader first asks; cut from the window when it goes.
    Microsoft::WRL::ComPtr<TPopupAccessible> FAccessible;
    // The name screen readers were last told of.
    std::wstring FSpokenName;
    bool FNameCheckPosted = false;
};
