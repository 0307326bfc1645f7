#pragma once
#include "HttpLookupSettings.h"
#include "NameLookupCheck.h"
#include "WindowBase.h"

#include <windows.h>

#include <functional>

// "Имена из CRM": the settings of the CRM name lookup with a check that asks
// the CRM for a typed number and shows what came back. A modeless dialog over
// its owner (the settings window); at most one is open, and it frees itself
// when closed. OK hands settings that pass their checks (or switch the lookup
// off) to onApply and closes; settings that fail them keep the dialog open
// with the reason.
class TCrmLookupForm final : public TWindowBase {
public:
    using TApply = std::function<void(const THttpLookupSettings& settings)>;

    // Shows the dialog filled with current, or brings the open one forward.
    // Returns its handle, or null when it could not be created.
    static HWND Show(HINSTANCE instance, HWND owner, const THttpLookupSettings& current, TApply onApply);
    // Closes the open dialog without applying.
    static void CloseOpen();

    TCrmLookupForm(const TCrmLookupForm&) = delete;
    TCrmLookupForm& operator=(const TCrmLookupForm&) = delete;

private:
    TCrmLookupForm(HINSTANCE instance, const THttpLookupSettings& current, TApply onApply);
    ~TCrmLookupForm() override = default;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override;
    void FormCreate();
    void OnCommand(UINT id);
    // The settings as the controls show them; false when the time-out is no number in range.
    bool ReadControls(THttpLookupSettings& settings);
    void btnCheckClick();
    void btnOKClick();
    void OnCheckDone();
    void ShowResult(const std::wstring& text);
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    THttpLookupSettings FCurrent;
    TApply FOnApply;
    TNameLookupCheck FCheck;
};
