#include "CrmNames.h"

#include "LateCallerName.h"

namespace {
constexpr wchar_t kWakeClass[] = L"KordavinInformerCrmNames";
constexpr UINT kAnswersReady = WM_APP + 1;
}  // namespace

// Hidden and message-only: the workers post kAnswersReady here, and the
// answers are handled on the thread that owns it.
class TCrmNames::TWakeWindow final : public TWindowBase {
public:
    explicit TWakeWindow(TCrmNames& owner) : FOwner(owner) {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        RegisterWindowClass(instance, kWakeClass, 0, nullptr, nullptr);
        CreatePlainWindow(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, instance);
    }
    ~TWakeWindow() override {
        if (FHandle) ::DestroyWindow(FHandle);
    }
    void Post() const { ::PostMessageW(FHandle, kAnswersReady, 0, 0); }

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != kAnswersReady) return DefaultProc(message, wParam, lParam);
        FOwner.TakeAnswers();
        return 0;
    }
    // A failed answer costs that answer only; there is nobody to tell.
    void OnError(const std::wstring&) override {}

    TCrmNames& FOwner;
};

TCrmNames::TCrmNames(TRecorderDispatch& dispatch, TCallJournal& journal, TEventDiagnostics& diagnostics,
                               TCrmNamesOptions options)
    : FDispatch(dispatch), FJournal(journal), FDiagnostics(diagnostics), FWake(std::make_unique<TWakeWindow>(*this)) {
    TWakeWindow* wake = FWake.get();
    FService = std::make_unique<TCrmNamesService>([wake] { wake->Post(); }, std::move(options));
}

std::unique_ptr<INameSourcePart> TCrmNames::Make(const TNameSourceContext& context) {
    auto part = std::make_unique<TCrmNames>(context.Dispatch, context.Journal, context.Diagnostics);
    context.AddListener(*part);
    return part;
}

TCrmNames::~TCrmNames() { Shutdown(); }

void TCrmNames::SetSettings(const TCrmNamesSettings& settings) {
    if (settings == FSettings) return;
    FSettings = settings;
    FService->SetSettings(settings);
}

void TCrmNames::OnCallEvent(const TCallEvent& event) {
    const TCall* call = event.Call;
    if (!call) return;
    const std::wstring key = std::to_wstring(call->Id);
    const auto waiting = FCalls.find(key);
    if (waiting != FCalls.end()) {
        waiting->second.Channel = call->Channel;
        waiting->second.Ended = call->Ended();
    }
    if (call->Ended()) {
        FService->ForgetCall(key);
        return;
    }
    // Only a caller ID that the directories and the other name sources left
    // without a name; the service asks once per call however often it comes.
    if (event.Kind != TCallEventKind::CallerId || !event.Caller || !event.Caller->Name.empty()) return;
    switch (FService->Request(key, event.Caller->Number, call->Channel)) {
    case TNameRequestStart::Started:
    case TNameRequestStart::Joined:
    case TNameRequestStart::FromCache:
        FCalls[key] = {call->Id, call->Channel, false};
        break;
    default:
        break;
    }
}

void TCrmNames::TakeAnswers() {
    for (const TCrmNamesAnswer& answer : FService->TakeAnswers()) {
        try {
            Answered(answer);
        } catch (...) {
            // One answer that cannot be shown costs no other.
        }
    }
}

void TCrmNames::Answered(const TCrmNamesAnswer& answer) {
    const auto found = FCalls.find(answer.CallKey);
    if (found == FCalls.end()) return;
    const TWaitingCall waiting = found->second;
    FCalls.erase(found);
    const TCrmNamesResult& result = answer.Result;
    if (result.Outcome == TCrmNamesOutcome::Failed) {
        if (result.Error != TCrmNamesError::Canceled)
            FDiagnostics.RecordCrmNamesFailure(waiting.Channel, answer.Number, result.Error, result.Detail);
        return;
    }
    if (result.Outcome != TCrmNamesOutcome::Found) return;
    GiveLateName(FDispatch, FJournal, {waiting.CallId, waiting.Channel, waiting.Ended}, result.Name, result.Comment);
}

void TCrmNames::StopLookups() {
    if (FService) FService->Shutdown();
}

void TCrmNames::Shutdown() {
    StopLookups();
    FCalls.clear();
}
