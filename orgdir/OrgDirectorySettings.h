#pragma once
#include <string>
#include <vector>

// Where the organisation's directory is and what to read from it. Each field is
// one key of the INI file's Main section (its name without the "F"); the values
// here are the built-in defaults.
struct TOrgDirectorySettings {
    // Blank-separated "ldap://host[:port]" or "ldaps://host[:port]", tried in
    // order; empty turns the directory off.
    std::wstring FLdapServers;
    std::wstring FLdapBase;
    // Empty: every entry that has one of the phone attributes.
    std::wstring FLdapFilter;
    std::wstring FLdapPhoneAttributes = L"telephoneNumber,mobile,ipPhone,homePhone,otherTelephone";
    // cn stands in for an entry whose name attribute is empty.
    std::wstring FLdapNameAttribute = L"displayName";
    std::wstring FLdapCommentAttributes = L"title,department,company";
    // Empty: an anonymous bind.
    std::wstring FLdapBindDN;
    // Only ever encrypted for the Windows user (ProtectForUser), never in plain text.
    std::wstring FLdapPassword;
    // Binds as the signed-in Windows user (negotiate); the DN and password are unused then.
    bool FLdapUseWindowsLogin = false;
    // On ldap://, a password is only sent after StartTLS; this lets it go
    // unencrypted to a server that refuses StartTLS.
    bool FLdapAllowPlainBind = false;
    int FLdapSyncMinutes = 60;

    bool operator==(const TOrgDirectorySettings&) const = default;
};

inline constexpr int kDefaultLdapSyncMinutes = TOrgDirectorySettings{}.FLdapSyncMinutes;
// A week: a longer period is taken as this.
inline constexpr int kMaxLdapSyncMinutes = 7 * 24 * 60;

// The directory is used at all.
bool OrgDirectoryEnabled(const TOrgDirectorySettings& settings);

// The minutes between syncs: the default for zero or less, at most a week.
int SyncPeriodMinutes(const TOrgDirectorySettings& settings);

// A list setting's entries: separated by blanks, commas or semicolons, empty ones dropped.
std::vector<std::wstring> SettingListEntries(const std::wstring& text);

// The filter the search uses: the configured one, or "any phone attribute present".
// With the latter, Active Directory's disabled accounts are left out too (by the read).
std::wstring EffectiveLdapFilter(const TOrgDirectorySettings& settings);

// The attributes one search asks for, in this order: the phone attributes, the
// name attribute, cn, then the comment attributes (none twice).
struct TOrgAttributes {
    std::vector<std::wstring> Phones;
    std::wstring Name;
    std::vector<std::wstring> Comments;
    // Every attribute once, as the search requests them.
    std::vector<std::wstring> Requested;
    // Positions in Requested.
    std::vector<size_t> PhoneColumns, CommentColumns;
    size_t NameColumn = 0, CnColumn = 0;
};
TOrgAttributes OrgAttributes(const TOrgDirectorySettings& settings);
