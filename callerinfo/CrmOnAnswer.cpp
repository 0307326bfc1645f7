#include "CrmOnAnswer.h"

#include <algorithm>

TCrmOnAnswer::TCrmOnAnswer(TSettingsSource settings, TCardOpener opener)
    : FSettings(std::move(settings)), FOpener(std::move(opener)) {
    if (!FOpener) {
        // Opened in the middle of the event stream: a failure is not worth a box
        // over every answered call; the popup's button still offers the card.
        FOpener = [](const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel) {
            OpenCrmCard(urlTemplate, caller, channel);
        };
    }
}

void TCrmOnAnswer::OnCallEvent(const TCallEvent& event) {
    if (!event.Call) return;
    const TCall& call = *event.Call;
    const auto opened = std::find(FOpened.begin(), FOpened.end(), call.Id);
    if (call.Ended()) {
        if (opened != FOpened.end()) FOpened.erase(opened);
        return;
    }
    if (event.Kind != TCallEventKind::ConversationBegin || opened != FOpened.end()) return;
    const TCrmSettings settings = FSettings();
    if (!CrmOpensOnAnswer(settings) || !HasCallNumber(call.Caller.Number)) return;
    // Remembered first: a card that fails to open is not tried again for the call.
    FOpened.push_back(call.Id);
    FOpener(settings.UrlTemplate, call.Caller, call.Channel);
}
