#pragma once
#include "DialogBase.h"
#include "CrmNamesSettings.h"
#include "BackgroundCheck.h"
#include "CrmNamesResult.h"
#include "OpenWindows.h"

#include <windows.h>

#include <functional>

// "Имена из CRM": the settings of the CRM name lookup with a check that asks
// the CRM for a typed number and shows what came back. A modeless dialog over
// its owner (the settings window); at most one is open, and it frees itself
// when closed. OK hands settings that pass their checks (or switch the lookup
// off) to onApply and closes; settings that fail them keep the dialog open
// with the reason. CloseAll closes it without applying.
class TCrmNamesForm final : public TDialogBase, public TOpenWindows<TCrmNamesForm> {
public:
    using TApply = std::function<void(const TCrmNamesSettings& settings)>;

    // Shows the dialog filled with current, or brings the open one forward.
    // Returns its handle; throws AppError when it cannot be created.
    static HWND Show(HINSTANCE instance, HWND owner, const TCrmNamesSettings& current, TApply onApply);

private:
    TCrmNamesForm(HINSTANCE instance, const TCrmNamesSettings& current, TApply onApply);
    ~TCrmNamesForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The settings as the controls show them; false when the time-out is no number in range.
    bool ReadControls(TCrmNamesSettings& settings);
    void btnCheckClick();
    void btnOKClick();
    void OnCheckDone();
    void ShowResult(const std::wstring& text);

    TCrmNamesSettings FCurrent;
    TApply FOnApply;
    TBackgroundCheck<TCrmNamesResult> FCheck;
};
