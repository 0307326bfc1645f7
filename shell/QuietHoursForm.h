#pragma once
#include "DialogBase.h"
#include "OpenWindows.h"

#include <windows.h>

#include <functional>
#include <string>

// The quiet-hours settings as the dialog edits them.
struct TQuietHoursText {
    bool Hours = false;
    std::wstring From;
    std::wstring To;
    bool WhenBusy = false;
};

// "Тихие часы": the daily quiet hours (from, to) and quiet while Windows is
// busy. A modeless dialog without owner; at most one is open, and it frees
// itself when closed. OK hands readable times to onApply and closes; a time
// that is no time of day keeps it open with the reason.
class TQuietHoursForm final : public TDialogBase, public TOpenWindows<TQuietHoursForm> {
public:
    using TApply = std::function<void(const TQuietHoursText& settings)>;

    // Shows the dialog filled with current, or brings the open one forward.
    static HWND Show(HINSTANCE instance, const TQuietHoursText& current, TApply onApply);

private:
    TQuietHoursForm(HINSTANCE instance, TQuietHoursText current, TApply onApply);
    ~TQuietHoursForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    void UpdateEnabled();
    void btnOKClick();

    TQuietHoursText FCurrent;
    TApply FOnApply;
};
