#pragma once
#include "SqlDirectoryServer.h"

#include <string>

// The subscriber directory in the organisation's SQL server as the settings
// file keeps it. Each field is one key of the INI file's Main section (its
// name without the "F"); the values here are the built-in defaults.
struct TSqlSettings {
    // An ODBC connection string without the password; empty: the subscriber
    // directory is this PC's folder (or the directory server's), as before.
    std::wstring FSqlConnection;
    // Only ever encrypted for the Windows user (ProtectForUser), never in plain text.
    std::wstring FSqlPassword;
    std::wstring FSqlTable = L"KordavinAbonentPhones";
    int FSqlSyncSeconds = 30;

    bool operator==(const TSqlSettings&) const = default;
};

inline constexpr int kMinSqlSyncSeconds = 1;
// An hour: the replica of a busier office should not lag further behind.
inline constexpr int kMaxSqlSyncSeconds = 3600;

// The SQL directory is used at all: a connection string that is not blank.
bool SqlDirectoryEnabled(const TSqlSettings& settings);

// The seconds between syncs: the default for zero or less, at most kMaxSqlSyncSeconds.
int SqlSyncPeriodSeconds(const TSqlSettings& settings);

// What the sync and the check connect with: the password unprotected for this
// call (one encrypted for another user reads as empty), blanks at the ends of
// the connection string and the table's name dropped, an empty table name as
// the default one.
TSqlDirectorySettings SqlDirectorySettingsOf(const TSqlSettings& settings);
