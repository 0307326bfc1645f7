#include "LateSubscriberNames.h"

#include "WindowBase.h"

#include <vector>

namespace {
constexpr wchar_t kTimerClass[] = L"KordavinInformerLateNames";
constexpr UINT_PTR kRetryTimer = 1;
}  // namespace

// Hidden and message-only: its timer runs the tries while calls wait.
class TLateSubscriberNames::TTimerWindow final : public TWindowBase {
public:
    explicit TTimerWindow(TLateSubscriberNames& owner) : FOwner(owner) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        RegisterWindowClass(instance, kTimerClass, 0, nullptr, nullptr);
        CreatePlainWindow(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, instance);
    }
    ~TTimerWindow() override {
        if (FHandle) ::DestroyWindow(FHandle);
    }
    void Run(bool on) {
        if (on == FRunning || !FHandle) return;
        FRunning = on;
        if (on) ::SetTimer(FHandle, kRetryTimer, kRetryEveryMs, nullptr);
        else ::KillTimer(FHandle, kRetryTimer);
    }

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_TIMER || wParam != kRetryTimer) return DefaultProc(message, wParam, lParam);
        FOwner.RetryNow();
        return 0;
    }
    // A failed round costs that round only; the next tick tries again.
    void OnError(const std::wstring&) override {}

    TLateSubscriberNames& FOwner;
    bool FRunning = false;
};

TLateSubscriberNames::TLateSubscriberNames(TCallerLookup& lookup, TRecorderDispatch& dispatch, TCallJournal& journal)
    : FLookup(lookup), FDispatch(dispatch), FJournal(journal), FTimer(std::make_unique<TTimerWindow>(*this)) {}

TLateSubscriberNames::~TLateSubscriberNames() { Shutdown(); }

void TLateSubscriberNames::OnCallEvent(const TCallEvent& event) {
    const TCall* call = event.Call;
    if (FShutDown || !call) return;
    const auto waiting = FCalls.find(call->Id);
    if (waiting != FCalls.end()) {
        // Named meanwhile (a CRM, a caller ID the table answered): nothing more to find.
        if (!call->Caller.Name.empty()) {
            FCalls.erase(waiting);
        } else {
            waiting->second.Target.Channel = call->Channel;
            waiting->second.Target.Ended = call->Ended();
        }
        return;
    }
    if (event.Kind != TCallEventKind::CallerId || call->Ended() || !event.Caller || !event.Caller->Name.empty() ||
        event.Handling.Lookup.Kind != TLookupFailureKind::LocalStoreLocked || FCalls.size() >= kMaxWaitingCalls)
        return;
    FCalls[call->Id] = {{call->Id, call->Channel, false}, event.Caller->Number, ::GetTickCount64() + kRetryForMs};
    FTimer->Run(true);
}

void TLateSubscriberNames::RetryNow() {
    const ULONGLONG now = ::GetTickCount64();
    struct TFound {
        TLateNameTarget Target;
        std::wstring Name, Comment;
    };
    std::vector<TFound> found;
    bool locked = false;
    for (auto it = FCalls.begin(); it != FCalls.end();) {
        TWaitingCall& waiting = it->second;
        std::wstring name, comment;
        TLookupFailure failure{TLookupFailureKind::LocalStoreLocked, {}};
        // Once the table is found locked, the other calls' tries would find the same.
        const bool done = !locked && FLookup.TrySubscriberNow(waiting.Number, name, comment, failure);
        if (!done && failure.Kind == TLookupFailureKind::LocalStoreLocked) {
            locked = true;
            if (now < waiting.GiveUpAt) {
                ++it;
                continue;
            }
        }
        if (done) found.push_back({waiting.Target, std::move(name), std::move(comment)});
        it = FCalls.erase(it);
    }
    if (FCalls.empty() && FTimer) FTimer->Run(false);
    // Through the dispatch, which tells this listener too: after the walk.
    for (const TFound& name : found) GiveLateName(FDispatch, FJournal, name.Target, name.Name, name.Comment);
}

void TLateSubscriberNames::Shutdown() {
    FShutDown = true;
    FCalls.clear();
    if (FTimer) FTimer->Run(false);
}
