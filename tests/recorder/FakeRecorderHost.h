#pragma once
#include "AppError.h"
#include "FakeRecorderSdk.h"
#include "RecorderDispatch.h"

#include <functional>
#include <string>
#include <vector>

// Stands in for the main controller and, as the collection's owner, for the popup
// manager; records everything the dispatch asks of it.
class FakeRecorderHost : public IRecorderHost, public ITrayMsgWinsOwner {
public:
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
    void TraceEvent(const std::wstring& Name) override { trace.push_back(Name); }
    bool GetNameRegionCommentByPhone(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                     std::wstring& Comment) override {
        lookups.push_back(Phone);
        if (duringLookup) duringLookup();
        outputsWereEmpty = outputsWereEmpty && Name.empty() && Region.empty() && Comment.empty();
        if (failLookup) throw AppError(L"lookup failed");
        Name = lookupName;
        Region = lookupRegion;
        Comment = lookupComment;
        return lookupResult;
    }
    TLookupFailure LastLookupFailure() override { return lookupFailure; }
    void RecorderEventHandled(const TRecorderEvent& event, const TEventHandling& handling) override {
        diagnostics.Record(event, handling);
    }
    void SetStatusText(const std::wstring& Text) override { statuses.push_back(Text); }
    void ShowNoConnectionBalloon() override { ++balloons; }
    std::vector<std::wstring> ChannelListItems() override { return channelList; }
    void SetChannelListItemText(int Index, const std::wstring& Text) override {
        channelList.at(static_cast<size_t>(Index)) = Text;
    }
    TTrayMsgWinCollection& TrayMsgWinItems() override { return items; }
    TRecorderSettings& RecorderSettings() override { return settings; }
    struct CallEvent {
        int32_t code;
        std::wstring channel;
        std::wstring text;
        bool monitored;
        bool hasCaller;
        TCallerShown caller;
    };
    void CallEventHandled(const TRecorderEvent& event, bool monitored, const TCallerShown* caller) override {
        callEvents.push_back({event.Code, event.Channel, event.Text, monitored, caller != nullptr,
                              caller ? *caller : TCallerShown{}});
        if (failCallEvents) throw AppError(L"journal failed");
    }
    void OpenCrmCard(const TCrmCallData& Call) override {
        crmCards.push_back(Call.Number + L"|" + Call.Name + L"|" + Call.Channel);
        if (duringCrmOpen) duringCrmOpen();
    }

    void UpdateFormTMW(TTrayMsgWinItem* item) override {
        notifications.push_back(item);
        if (failNotifications) throw AppError(L"window failed");
    }

    FakeRecorderSdk fakeSdk;
    IRecorderSdk* sdk = &fakeSdk;
    TRecorderSettings settings;
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

    // Last, so that it goes first: the collection notifies nobody when destroyed.
    TTrayMsgWinCollection items{this};
};
