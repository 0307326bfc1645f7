#include "SqlSettings.h"

#include "DpapiText.h"
#include "TextTrim.h"

bool SqlDirectoryEnabled(const TSqlSettings& settings) { return !TrimControlChars(settings.FSqlConnection).empty(); }

int SqlSyncPeriodSeconds(const TSqlSettings& settings) {
    if (settings.FSqlSyncSeconds <= 0) return TSqlSettings{}.FSqlSyncSeconds;
    return settings.FSqlSyncSeconds > kMaxSqlSyncSeconds ? kMaxSqlSyncSeconds : settings.FSqlSyncSeconds;
}

TSqlDirectorySettings SqlDirectorySettingsOf(const TSqlSettings& settings) {
    TSqlDirectorySettings result;
    result.Connection = TrimControlChars(settings.FSqlConnection);
    std::wstring password;
    if (UnprotectForUser(settings.FSqlPassword, password)) result.Password = std::move(password);
    const std::wstring table = TrimControlChars(settings.FSqlTable);
    if (!table.empty()) result.Table = table;
    result.SyncSeconds = static_cast<unsigned>(SqlSyncPeriodSeconds(settings));
    return result;
}
