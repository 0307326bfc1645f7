#include "OrgDirectorySync.h"

#include "AppError.h"
#include "CallTracker.h"
#include "OrgDirectoryNumbers.h"
#include "DpapiText.h"
#include "PlainNameText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

// Plain text on one line with single blanks: a value typed as "Name\r\nSurname"
// reads as two words; control characters and direction tricks are dropped.
std::wstring OneLine(const std::wstring& value) {
    const std::wstring line = PlainNameText(value, kMaxLdapValueLength);
    std::wstring single;
    single.reserve(line.size());
    for (const wchar_t c : line)
        if (c != L' ' || single.empty() || single.back() != L' ') single += c;
    return single;
}

std::wstring FirstValue(const std::vector<std::wstring>& values) {
    for (const std::wstring& value : values) {
        std::wstring line = OneLine(value);
        if (!line.empty()) return line;
    }
    return {};
}

}  // namespace

TOrgDirectoryEntry OrgEntryFromValues(const TOrgAttributes& attributes, const TLdapValues& values,
                                      const TDiallingSettings& dialling) {
    TOrgDirectoryEntry entry;
    entry.Name = FirstValue(values[attributes.NameColumn]);
    if (entry.Name.empty()) entry.Name = FirstValue(values[attributes.CnColumn]);
    if (entry.Name.empty()) return entry;
    entry.Name = PlainNameText(std::move(entry.Name), kMaxNameLength);
    std::vector<std::wstring> parts;
    for (const size_t column : attributes.CommentColumns) {
        std::wstring part = FirstValue(values[column]);
        if (!part.empty() && std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(std::move(part));
    }
    for (const std::wstring& part : parts) {
        entry.Comment += (entry.Comment.empty() ? L"" : L", ") + part;
        if (entry.Comment.size() >= kMaxCommentLength) break;
    }
    entry.Comment = PlainNameText(std::move(entry.Comment), kMaxCommentLength);
    for (const size_t column : attributes.PhoneColumns) {
        for (const std::wstring& written : values[column]) {
            for (std::wstring& number : OrgDirectoryNumbers(written, dialling)) {
                if (std::find(entry.Numbers.begin(), entry.Numbers.end(), number) == entry.Numbers.end())
                    entry.Numbers.push_back(std::move(number));
            }
        }
    }
    return entry;
}

TOrgReadResult ReadOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                const TOrgReadOptions& options, std::stop_token stop, bool firstPageOnly,
                                TLdapReadSummary* summary) {
    TOrgReadResult result;
    TLdapCredentials credentials;
    credentials.Negotiate = settings.FLdapUseWindowsLogin;
    credentials.AllowPlainBind = settings.FLdapAllowPlainBind;
    if (!credentials.Negotiate) {
        credentials.BindDn = settings.FLdapBindDN;
        if (!UnprotectForUser(settings.FLdapPassword, credentials.Password)) {
            result.Error = {TOrgDirectoryFailure::PasswordUnreadable, 0, {}, {}};
            return result;
        }
    }
    const TOrgAttributes attributes = OrgAttributes(settings);
    TLdapSearch search;
    search.Base = settings.FLdapBase;
    search.Filter = EffectiveLdapFilter(settings);
    // A filter of one's own says itself which accounts it wants.
    search.LeaveOutDisabledAccounts = settings.FLdapFilter.empty();
    search.Attributes = attributes.Requested;
    search.PageSize = options.PageSize;
    search.TimeoutSeconds = options.TimeoutSeconds;
    search.Limits = options.Limits;
    search.FirstPageOnly = firstPageOnly;
    result.Error = ReadLdapEntries(
        SettingListEntries(settings.FLdapServers), credentials, search,
        [&](TLdapValues& values) {
            TOrgDirectoryEntry entry = OrgEntryFromValues(attributes, values, dialling);
            if (!entry.Numbers.empty()) result.Entries.push_back(std::move(entry));
        },
        stop, summary);
    ::SecureZeroMemory(credentials.Password.data(), credentials.Password.size() * sizeof(wchar_t));
    if (result.Error) result.Entries.clear();
    return result;
}

TOrgCheckResult CheckOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                  const TOrgReadOptions& options, std::stop_token stop) {
    TLdapReadSummary summary;
    TOrgReadResult read = ReadOrgDirectory(settings, dialling, options, stop, true, &summary);
    TOrgCheckResult check;
    check.Error = std::move(read.Error);
    check.More = !check.Error && summary.MorePages;
    check.Entries = static_cast<int64_t>(read.Entries.size());
    for (const TOrgDirectoryEntry& entry : read.Entries) check.Numbers += static_cast<int64_t>(entry.Numbers.size());
    return check;
}

std::wstring OrgDirectorySource(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling) {
    // A separator no setting holds keeps "a"+"bc" apart from "ab"+"c".
    constexpr wchar_t kSeparator = L'\x1f';
    std::wstring source;
    auto add = [&](const std::wstring& part) { source += part + kSeparator; };
    auto addList = [&](const std::vector<std::wstring>& list) {
        for (const std::wstring& entry : list) source += entry + L'\x1e';
        source += kSeparator;
    };
    add(settings.FLdapServers);
    add(settings.FLdapBase);
    add(EffectiveLdapFilter(settings));
    add(settings.FLdapPhoneAttributes);
    add(settings.FLdapNameAttribute);
    add(settings.FLdapCommentAttributes);
    add(settings.FLdapUseWindowsLogin ? L"negotiate" : settings.FLdapBindDN);
    add(dialling.FDefaultCountryCode);
    add(dialling.FDefaultCityCode);
    addList(dialling.FCityPrefixes);
    addList(dialling.FWorldPrefixes);
    addList(dialling.FCountryPrefixes);
    add(dialling.FUseCityPrefixForIncoming ? L"1" : L"0");
    return source;
}

TOrgSyncStatus SyncOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                TOrgDirectoryCache& cache, const TOrgReadOptions& options,
                                std::stop_token stop, const TOrgClock& clock) {
    const auto started = std::chrono::steady_clock::now();
    TOrgReadResult read = ReadOrgDirectory(settings, dialling, options, stop);
    const int64_t duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    const int64_t now = clock ? clock() : CallTimeNow();
    // A worker left by Stop may come back from a call that could not be cut
    // short long after: by then nobody wants its outcome.
    if (read.Error.Kind == TOrgDirectoryFailure::Cancelled || stop.stop_requested()) return cache.Status();
    if (read.Error) {
        cache.RecordFailure(read.Error, now, duration);
        return cache.Status();
    }
    try {
        cache.Replace(read.Entries, now, duration, OrgDirectorySource(settings, dialling));
    } catch (const AppError& error) {
        cache.RecordFailure({TOrgDirectoryFailure::CacheFailed, 0, {}, error.message()}, now, duration);
    }
    return cache.Status();
}
