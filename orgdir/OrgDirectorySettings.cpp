#include "OrgDirectorySettings.h"

#include "TextCompare.h"

#include <algorithm>

namespace {

bool IsListSeparator(wchar_t c) { return c == L' ' || c == L'\t' || c == L',' || c == L';' || c == L'\r' || c == L'\n'; }

// Attribute names compare without regard to case, as LDAP has them.
size_t ColumnOf(std::vector<std::wstring>& requested, const std::wstring& attribute) {
    const std::wstring lower = LowerCaseText(attribute);
    for (size_t i = 0; i < requested.size(); ++i)
        if (LowerCaseText(requested[i]) == lower) return i;
    requested.push_back(attribute);
    return requested.size() - 1;
}

}  // namespace

bool OrgDirectoryEnabled(const TOrgDirectorySettings& settings) {
    return !SettingListEntries(settings.FLdapServers).empty();
}

int SyncPeriodMinutes(const TOrgDirectorySettings& settings) {
    if (settings.FLdapSyncMinutes <= 0) return kDefaultLdapSyncMinutes;
    return std::min(settings.FLdapSyncMinutes, kMaxLdapSyncMinutes);
}

std::vector<std::wstring> SettingListEntries(const std::wstring& text) {
    std::vector<std::wstring> entries;
    std::wstring current;
    for (const wchar_t c : text + L' ') {
        if (!IsListSeparator(c)) {
            current += c;
        } else if (!current.empty()) {
            entries.push_back(std::move(current));
            current.clear();
        }
    }
    return entries;
}

std::wstring EffectiveLdapFilter(const TOrgDirectorySettings& settings) {
    if (!settings.FLdapFilter.empty()) return settings.FLdapFilter;
    const std::vector<std::wstring> phones = SettingListEntries(settings.FLdapPhoneAttributes);
    if (phones.empty()) return L"(objectClass=*)";
    std::wstring filter = L"(|";
    for (const std::wstring& phone : phones) filter += L"(" + phone + L"=*)";
    return filter + L")";
}

TOrgAttributes OrgAttributes(const TOrgDirectorySettings& settings) {
    TOrgAttributes attributes;
    attributes.Phones = SettingListEntries(settings.FLdapPhoneAttributes);
    const std::vector<std::wstring> names = SettingListEntries(settings.FLdapNameAttribute);
    attributes.Name = names.empty() ? std::wstring(L"cn") : names.front();
    attributes.Comments = SettingListEntries(settings.FLdapCommentAttributes);
    for (const std::wstring& phone : attributes.Phones)
        attributes.PhoneColumns.push_back(ColumnOf(attributes.Requested, phone));
    attributes.NameColumn = ColumnOf(attributes.Requested, attributes.Name);
    attributes.CnColumn = ColumnOf(attributes.Requested, L"cn");
    for (const std::wstring& comment : attributes.Comments)
        attributes.CommentColumns.push_back(ColumnOf(attributes.Requested, comment));
    return attributes;
}
