#pragma once
#include "CallEvent.h"
#include "CallJournal.h"
#include "EventDiagnostics.h"
#include "NameSourcePart.h"
#include "CrmNamesSettings.h"
#include "CrmNamesService.h"
#include "RecorderDispatch.h"
#include "WindowBase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

// Callers' names from a CRM as a listener of the call-event stream: a caller ID
// that no directory named starts one request for its call, the popup shows at
// once, and the answer names the call later. An answer for a call still in
// progress goes through the dispatch (popup, journal at the call's end, other
// listeners); one for a call that has ended goes to the journal only; a failure
// goes to the diagnostics. Main thread only; the answers come back to it
// through a message-only window.
class TCrmNames final : public ICallEventListener, public INameSourcePart {
public:
    TCrmNames(TRecorderDispatch& dispatch, TCallJournal& journal, TEventDiagnostics& diagnostics,
                   TCrmNamesOptions options = {});
    ~TCrmNames();
    TCrmNames(const TCrmNames&) = delete;
    TCrmNames& operator=(const TCrmNames&) = delete;

    // Made as the controller's part: a listener of the call-event stream.
    static std::unique_ptr<INameSourcePart> Make(const TNameSourceContext& context);

    // Unchanged settings keep the cache of answers.
    void SetSettings(const TCrmNamesSettings& settings);
    void Apply(const TMainFormSettings& settings) override { SetSettings(settings); }
    void Stop() override { StopLookups(); }
    const TCrmNamesSettings& Settings() const { return FSettings; }
    void OnCallEvent(const TCallEvent& event) override;
    // The answers waiting now, handled at once (also what the wake message does).
    void TakeAnswers();
    // No request and no answer after this.
    void Shutdown();
    // Ends the lookups (the workers and their requests) and nothing else: safe
    // from another thread while the main thread goes on; Shutdown still follows.
    void StopLookups();

    // Requests that reached the service for calls whose answer has not come yet.
    size_t WaitingCalls() const { return FCalls.size(); }

private:
    class TWakeWindow;
    struct TWaitingCall {
        int64_t CallId = 0;
        // As the recorder names the channel now: a rename follows the call.
        std::wstring Channel;
        bool Ended = false;
    };

    void Answered(const TCrmNamesAnswer& answer);

    TRecorderDispatch& FDispatch;
    TCallJournal& FJournal;
    TEventDiagnostics& FDiagnostics;
    TCrmNamesSettings FSettings;
    // By call key (the call's id as text).
    std::unordered_map<std::wstring, TWaitingCall> FCalls;
    std::unique_ptr<TWakeWindow> FWake;
    // Declared last: its workers stop before the window they post to goes.
    std::unique_ptr<TCrmNamesService> FService;
};
