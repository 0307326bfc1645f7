#pragma once
#include "CallbackLink.h"
#include "CrmLink.h"
#include "SharedDirectoryProtocol.h"
#include "OrgDirectorySettings.h"
#include "SqlSettings.h"
#include "CrmNamesSettings.h"
#include "RecorderSettings.h"

#include <string>

// The program's settings fields with their built-in defaults. Three defaults
// exist only at run time and are filled in before the settings are loaded: the
// two directory modules' own folders and the popup font's name. The
// organisation's directory and the CRM name lookup keep their own fields
// (OrgDirectorySettings.h, CrmNamesSettings.h), and so does the SQL
// directory (SqlSettings.h), so that each goes to its part whole.
struct TMainFormSettings : TRecorderSettings, TOrgDirectorySettings, TCrmNamesSettings, TSqlSettings {
    std::wstring FServerName;  // empty: the recording server runs on this computer
    std::wstring FCityCodesDir;
    std::wstring FAbonentPhoneDir;
    bool FActive = false;
    std::wstring FFontName;
    int FFontSize = 10;  // points
    bool FUseRemoteDB = false;
    bool FDBAsClient = false;
    std::wstring FDBServerAddress;
    int FDBPort = SharedDirectoryProtocol::kDefaultPort;
    // Client addresses the directory server answers (IPv4 and CIDR ranges,
    // comma-separated); empty: every client.
    std::wstring FDBAllowedClients;
    // The call journal keeps calls this many days, and at most this many calls.
    int FJournalDays = 90;
    int FJournalMaxCalls = 10000;
    // A tray balloon tells of a missed call.
    bool FMissedCallBalloon = true;
    // The CRM card of a call: URL template (empty: none) and when it opens.
    std::wstring FCrmUrlTemplate;
    TCrmOpenMode FCrmOpenMode = comNever;
    // Calling back: the dialler's URL template (empty: no command) and the
    // digits for the outside line before every outside number.
    std::wstring FCallbackUrlTemplate = kDefaultCallbackUrlTemplate;
    std::wstring FCallbackPrefix;
    // Quiet time: daily quiet hours (times of day as "20:00") and quiet while
    // Windows says the user presents or runs a full-screen program.
    bool FQuietHours = false;
    std::wstring FQuietHoursFrom = L"20:00";
    std::wstring FQuietHoursTo = L"08:00";
    bool FQuietWhenBusy = false;
    // Mirrors the autostart value in the registry; never in the INI file.
    bool FAutoRun = false;
};
