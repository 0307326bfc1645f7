#pragma once
#include "DialogBase.h"
#include "OpenWindows.h"
#include "BackgroundCheck.h"
#include "OrgDirectorySync.h"

#include <windows.h>

#include <functional>

// "Справочник организации (LDAP)": where the organisation's directory is and
// what to read from it, with a check that reads it as the dialog stands and
// says how many entries with numbers it found, or why it could not. A modeless
// dialog over its owner (the settings window); at most one is open, and it
// frees itself when closed. OK hands the settings (the password encrypted for
// this Windows user) to onApply and closes.
class TOrgDirectoryForm final : public TDialogBase, public TOpenWindows<TOrgDirectoryForm> {
public:
    using TApply = std::function<void(const TOrgDirectorySettings& settings)>;

    // Shows the dialog filled with current, or brings the open one forward. The
    // check normalises numbers with dialling. Returns its handle; throws
    // AppError when it cannot be created.
    static HWND Show(HINSTANCE instance, HWND owner, const TOrgDirectorySettings& current,
                     const TDiallingSettings& dialling, TApply onApply);

private:
    TOrgDirectoryForm(HINSTANCE instance, const TOrgDirectorySettings& current, const TDiallingSettings& dialling,
                      TApply onApply);
    ~TOrgDirectoryForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The settings as the controls show them; false when the period is no number in range.
    bool ReadControls(TOrgDirectorySettings& settings) const;
    void UpdateLoginControls();
    void btnCheckClick();
    void btnOKClick();
    void OnCheckDone();
    void ShowResult(const std::wstring& text);

    TOrgDirectorySettings FCurrent;
    TDiallingSettings FDialling;
    TApply FOnApply;
    TBackgroundCheck<TOrgCheckResult> FCheck;
};
