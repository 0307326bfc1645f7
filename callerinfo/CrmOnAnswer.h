#pragma once
#include "CallEvent.h"
#include "CrmLink.h"

#include <cstdint>
#include <functional>
#include <vector>

// Opens a call's CRM card when the call is answered, once per call however
// often the server repeats the answer; a listener of the call-event stream.
class TCrmOnAnswer final : public ICallEventListener {
public:
    using TSettingsSource = std::function<TCrmSettings()>;
    // Opens one card; the default opens it in the browser.
    using TCardOpener = std::function<void(const std::wstring& urlTemplate, const TCaller& caller,
                                           const std::wstring& channel)>;

    explicit TCrmOnAnswer(TSettingsSource settings, TCardOpener opener = {});

    void OnCallEvent(const TCallEvent& event) override;

private:
    TSettingsSource FSettings;
    TCardOpener FOpener;
    // The calls in progress whose card has been opened.
    std::vector<int64_t> FOpened;
};
