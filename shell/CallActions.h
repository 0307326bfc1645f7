#pragma once
#include "CallJournalForm.h"
#include "CallbackLink.h"
#include "CrmLink.h"
#include "InformerController.h"
#include "MainFormSettings.h"

#include <functional>
#include <string>

// "Открыть в CRM" and "Перезвонить" of a popup or a journal row: what they
// open with the applied settings, and the warning when it cannot be opened.
// The buttons are offered exactly while the applied settings make them usable.
class TCallActions {
public:
    // Shows a warning to the user (a window's box); the actions own no window.
    using TWarn = std::function<void(const std::wstring& text)>;

    explicit TCallActions(TWarn warn) : FWarn(std::move(warn)) {}

    // The applied settings; the popups' buttons follow them at once.
    void Apply(const TMainFormSettings& settings, IPopupsAccess& popups);
    // A journal window's row buttons, as the applied settings allow.
    void OfferTo(TCallJournalForm& journal) const;

    void OpenCrm(const TCaller& caller, const std::wstring& channel) const;
    void CallBack(const TCaller& caller, const std::wstring& channel) const;

private:
    TWarn FWarn;
    TCrmSettings FCrm;
    TCallbackSettings FCallback;
    TDiallingSettings FDialling;
};
