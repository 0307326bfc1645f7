#pragma once
// One recorder event for each reason the diagnostics window tells, played
// through the real dispatch; for the window's test and its screenshot.
#include "FakeRecorderHost.h"

struct DiagnosticsScenarioRow {
    const wchar_t* event;
    const wchar_t* channel;
    const wchar_t* number;
    const wchar_t* outcome;
};

// The rows the window shows for PlayDiagnosticsScenario, newest first.
inline const std::vector<DiagnosticsScenarioRow>& DiagnosticsScenarioRows() {
    static const std::vector<DiagnosticsScenarioRow> rows{
        {L"KDV_MSG_DESTROY_CONNECTION", L"", L"", L"Соединение прервано сервером"},
        {L"код 4", L"K1", L"", L"Неизвестный код события: пропущено"},
        {L"KDV_MSG_ANI_DETECT", L"K3", L"84957654321",
         L"Окно показано; поиск абонента не удался (сервер справочников): сервер справочников 10.0.0.9:32456 "
         L"недоступен"},
        {L"KDV_MSG_ANI_DETECT", L"K2", L"84950001122",
         L"Окно показано; поиск абонента не удался (локально): справочники закрыты"},
        {L"KDV_MSG_ANI_DETECT", L"K2", L"P",
         L"Пропущено: номер скрыт, а окна только для определившихся номеров"},
        {L"KDV_MSG_RING", L"K2", L"", L"Пропущено: окна только для определившихся номеров"},
        {L"KDV_MSG_RING", L"K9", L"", L"Канал не отслеживается"},
        {L"KDV_MSG_ANI_DETECT", L"K1", L"P", L"Окно обновлено; номер скрыт и не копируется"},
        {L"KDV_MSG_ANI_DETECT", L"K1", L"84951234567", L"Окно обновлено"},
        {L"KDV_MSG_RING", L"K1", L"", L"Окно показано"},
    };
    return rows;
}

inline void PlayDiagnosticsScenario(FakeRecorderHost& host) {
    const auto play = [&host](int32_t code, const wchar_t* channel, const wchar_t* text = L"") {
        host.fakeSdk.Queue(code, channel, text);
        DispatchRecorderEvents(host);
    };
    host.diagnostics.SetConnected(true, L"REC-SERVER");
    host.settings.FChannels = {L"K1", L"K2", L"K3"};
    play(KDV_MSG_RING, L"K1");
    play(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    play(KDV_MSG_ANI_DETECT, L"K1", L"P");
    play(KDV_MSG_RING, L"K9");
    host.settings.FCallerIDOnly = true;
    play(KDV_MSG_RING, L"K2");
    play(KDV_MSG_ANI_DETECT, L"K2", L"P");
    host.settings.FCallerIDOnly = false;
    host.lookupResult = false;
    host.lookupFailure = {TLookupFailureKind::DirectoriesClosed, L""};
    play(KDV_MSG_ANI_DETECT, L"K2", L"84950001122");
    host.lookupFailure = {TLookupFailureKind::ServerNotReached, L"10.0.0.9:32456"};
    play(KDV_MSG_ANI_DETECT, L"K3", L"84957654321");
    play(4, L"K1");
    play(KDV_MSG_DESTROY_CONNECTION, L"");
}
