#pragma once
#include "OrgDirectoryError.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

struct TLdapServerAddress {
    std::wstring Host;
    unsigned long Port = 389;
    bool Secure = false;  // ldaps://
    bool operator==(const TLdapServerAddress&) const = default;
};

// "ldap://host[:port][/]" or "ldaps://host[:port][/]" (an IPv6 host in brackets);
// nothing for anything else.
std::optional<TLdapServerAddress> ParseLdapServer(std::wstring_view url);

struct TLdapCredentials {
    std::wstring BindDn;  // empty: anonymous
    std::wstring Password;
    bool Negotiate = false;  // as the signed-in Windows user; DN and password unused
};

struct TLdapSearch {
    std::wstring Base;
    std::wstring Filter;
    std::vector<std::wstring> Attributes;
    // Active Directory sends at most 1,000 entries a page.
    unsigned long PageSize = 500;
    // For the connection and for each page.
    unsigned long TimeoutSeconds = 30;
};

// One entry's values: one list per requested attribute, in the order requested.
using TLdapValues = std::vector<std::vector<std::wstring>>;
using TLdapEntrySink = std::function<void(TLdapValues& values)>;

// Connects to the first server of the list that answers, binds and reads every
// entry of the search page by page (the paged-results control), handing each to
// the sink. Any failure ends the read and is returned: a read that is not
// complete is never reported as done. `stop` is looked at between pages.
TOrgDirectoryError ReadLdapEntries(const std::vector<std::wstring>& servers, const TLdapCredentials& credentials,
                                   const TLdapSearch& search, const TLdapEntrySink& sink,
                                   std::stop_token stop = {});
