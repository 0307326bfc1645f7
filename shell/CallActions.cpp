#include "CallActions.h"

#include "CallbackRes.h"
#include "MainFormRes.h"
#include "ResourceText.h"

void TCallActions::Apply(const TMainFormSettings& settings, IPopupsAccess& popups) {
    FCrm = {settings.FCrmUrlTemplate, settings.FCrmOpenMode};
    FCallback = {settings.FCallbackUrlTemplate, settings.FCallbackPrefix};
    FDialling = settings;
    popups.SetOnOpenCrm(CrmLinkUsable(FCrm) ? TTMWForm::TOpenCrmEvent([this](const TCaller& caller,
                                                                            const std::wstring& channel) {
        OpenCrm(caller, channel);
    })
                                            : TTMWForm::TOpenCrmEvent());
    popups.SetOnCallBack(CallbackUsable(FCallback) ? TTMWForm::TOpenCrmEvent([this](const TCaller& caller,
                                                                                   const std::wstring& channel) {
        CallBack(caller, channel);
    })
                                                   : TTMWForm::TOpenCrmEvent());
}

void TCallActions::OfferTo(TCallJournalForm& journal) const {
    journal.SetOpenCrm(CrmLinkUsable(FCrm) ? TCallJournalForm::TOpenCrm([this](const TCallRecord& call) {
        OpenCrm(call.Caller, call.Channel);
    })
                                           : TCallJournalForm::TOpenCrm());
    journal.SetCallBack(CallbackUsable(FCallback) ? TCallJournalForm::TOpenCrm([this](const TCallRecord& call) {
        CallBack(call.Caller, call.Channel);
    })
                                                  : TCallJournalForm::TOpenCrm());
}

void TCallActions::OpenCrm(const TCaller& caller, const std::wstring& channel) const {
    std::wstring error;
    switch (OpenCrmCard(FCrm.UrlTemplate, caller, channel, &error)) {
    case TCrmOpenResult::TemplateRefused: FWarn(LoadResourceString(IDS_CRM_TEMPLATE_REFUSED)); break;
    case TCrmOpenResult::OpenFailed: FWarn(FormatResourceString(IDS_CRM_OPEN_FAILED, error)); break;
    default: break;
    }
}

void TCallActions::CallBack(const TCaller& caller, const std::wstring& channel) const {
    std::wstring error;
    switch (::CallBack(FCallback, FDialling, caller, channel, &error)) {
    case TCallbackResult::TemplateRefused: FWarn(LoadResourceString(IDS_CALLBACK_TEMPLATE_REFUSED)); break;
    case TCallbackResult::OpenFailed: FWarn(FormatResourceString(IDS_CALLBACK_OPEN_FAILED, error)); break;
    default: break;
    }
}
