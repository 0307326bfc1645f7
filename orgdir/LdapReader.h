#pragma once
#include "LdapConnection.h"
#include "OrgDirectoryError.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct TLdapSearch {
    std::wstring Base;
    std::wstring Filter;
    std::vector<std::wstring> Attributes;
    // At most kMaxLdapPageSize, which Active Directory sends.
    unsigned long PageSize = 500;
    // On Active Directory, disabled accounts are left out of the filter's results.
    bool LeaveOutDisabledAccounts = false;
    // For the connection and for each page.
    unsigned long TimeoutSeconds = 30;
};

// One entry's values: one list per requested attribute, in the order requested.
using TLdapValues = std::vector<std::vector<std::wstring>>;
using TLdapEntrySink = std::function<void(TLdapValues& values)>;

// Connects to the first server of the list that answers, binds and reads every
// entry of the search page by page (the paged-results control), handing each to
// the sink. Any failure ends the read and is returned: a read that is not
// complete is never reported as done. `cancel` is looked at between pages.
TOrgDirectoryError ReadLdapEntries(const std::vector<std::wstring>& servers, const TLdapCredentials& credentials,
                                   const TLdapSearch& search, const TLdapEntrySink& sink,
                                   const std::atomic<bool>* cancel = nullptr);
