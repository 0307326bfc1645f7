#pragma once
#include "AppError.h"
#include "CrmOnAnswer.h"
#include "EventDiagnostics.h"
#include "FakeRecorderSdk.h"
#include "RecorderDispatch.h"

#include <functional>
#include <string>
#include <vector>

// The event dispatch with a fake connection, standing in for the controller and
// its view; as the collection's owner it stands in for the popup manager, and as
// a listener for the window. Records everything the dispatch asks and tells.
class FakeRecorderHost : public IRecorderHost, public ITrayMsgWinsOwner, public ICallEventListener {
public:
    FakeRecorderHost() {
        dispatch.SetTrace([this](const std::wstring& name) { trace.push_back(name); });
        dispatch.AddListener(diagnostics);
        dispatch.AddListener(crmOnAnswer);
        dispatch.AddListener(*this);
    }

    IRecorderSdk* Kordavin() override { return sdk; }
    void DisconnectFromServer() override {
        ++disconnects;
        if (failDisconnect) throw AppError(L"release failed");
        if (!keepSdkOnDisconnect) sdk = nullptr;
    }
    void RefreshChannelList() override {
        ++refreshes;
        if (failRefresh) throw AppError(L"channel list failed");
    }
    bool LookUpCaller(TCaller& caller, TLookupFailure& failure) override {
        lookups.push_back(caller.Number);
        if (duringLookup) duringLookup();
        outputsWereEmpty = outputsWereEmpty && caller.Name.empty() && caller.Region.empty() && caller.Comment.empty();
        if (failLookup) throw AppError(L"lookup failed");
        caller.Name = lookupName;
        caller.Region = lookupRegion;
        caller.Comment = lookupComment;
        if (!lookupResult) failure = lookupFailure;
        return lookupResult;
    }

    struct CallEvent {
        int32_t code;
        std::wstring channel;
        std::wstring text;
        bool monitored;
        bool hasCaller;
        TCaller caller;
    };
    // What the window does with the stream: the lost connection in the status
    // bar and a balloon, a renamed channel in the check list.
    void OnCallEvent(const TCallEvent& event) override {
        switch (event.Kind) {
        case TCallEventKind::ConnectionLost:
            statuses.push_back(L"Соединение прервано сервером.");
            ++balloons;
            return;
        case TCallEventKind::Renamed: {
            const int listed = FindChannel(channelList, event.Channel);
            if (listed >= 0) channelList[static_cast<size_t>(listed)] = event.Text;
            break;
        }
        default:
            break;
        }
        if (event.Kind > TCallEventKind::Renamed) return;
        callEvents.push_back(
            {event.Code, event.Channel, event.Text, event.Monitored, event.Caller.has_value(), event.Caller.value_or(TCaller{})});
        if (failCallEvents) throw AppError(L"journal failed");
    }

    void UpdateFormTMW(TTrayMsgWinItem* item) override {
        notifications.push_back(item);
        if (failNotifications) throw AppError(L"window failed");
    }

    FakeRecorderSdk fakeSdk;
    IRecorderSdk* sdk = &fakeSdk;
    TRecorderSettings settings;
    TCrmSettings crm;
    std::vector<std::wstring> channelList;

    bool keepSdkOnDisconnect = false;
    bool failDisconnect = false;
    bool failRefresh = false;
    bool failLookup = false;
    bool failNotifications = false;
    bool failCallEvents = false;
    // Runs inside the lookup, where a modal loop would let timers fire.
    std::function<void()> duringLookup;
    std::function<void()> duringCrmOpen;
    std::wstring lookupName = L"Иванов Пётр";
    std::wstring lookupRegion = L"Москва";
    std::wstring lookupComment = L"поставщик";
    bool lookupResult = true;
    TLookupFailure lookupFailure;
    TEventDiagnostics diagnostics;
    TCrmOnAnswer crmOnAnswer{[this] { return crm; },
                             [this](const std::wstring&, const TCaller& caller, const std::wstring& channel) {
                                 crmCards.push_back(caller.Number + L"|" + caller.Name + L"|" + channel);
                                 if (duringCrmOpen) duringCrmOpen();
                             }};

    std::vector<std::wstring> trace;
    std::vector<std::wstring> statuses;
    std::vector<std::wstring> lookups;
    // "number|name|channel" of every CRM card opened.
    std::vector<std::wstring> crmCards;
    bool outputsWereEmpty = true;
    std::vector<TTrayMsgWinItem*> notifications;
    std::vector<CallEvent> callEvents;
    int disconnects = 0;
    int refreshes = 0;
    int balloons = 0;

    // The collection notifies nobody when destroyed.
    TTrayMsgWinCollection items{this};
    TRecorderDispatch dispatch{*this, settings, items};
};

inline void DispatchRecorderEvents(FakeRecorderHost& host) { host.dispatch.DispatchRecorderEvents(); }
