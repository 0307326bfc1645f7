#pragma once
#include "LdapConnection.h"
#include "OrgDirectoryError.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// How far one read may go. A server that pages forever, or sends far more than
// a directory holds, is stopped there and the read fails. The defaults hold a
// directory of 200,000 people with room to spare (Active Directory sends them
// in 200 pages of 1,000; about 400 bytes of the requested texts each).
struct TLdapLimits {
    unsigned long MaxPages = 10'000;
    uint64_t MaxEntries = 500'000;
    // The requested values' text as received, in UTF-16 bytes.
    uint64_t MaxBytes = 128ull * 1024 * 1024;
    unsigned long MaxSeconds = 15 * 60;
};

// What a read went through, for the check and the benchmark.
struct TLdapReadSummary {
    unsigned long Pages = 0;
    uint64_t Entries = 0;
    uint64_t Bytes = 0;
    // The read stopped after its first page although the server had more.
    bool MorePages = false;
};

// A value is kept to this many characters and an attribute to this many
// values: more is no name, comment or list of numbers a popup can use (a
// popup keeps 1,024 characters of a comment).
inline constexpr size_t kMaxLdapValueLength = 1024;
inline constexpr size_t kMaxLdapValues = 100;

struct TLdapSearch {
    std::wstring Base;
    std::wstring Filter;
    std::vector<std::wstring> Attributes;
    // Active Directory sends at most 1,000 entries a page.
    unsigned long PageSize = 500;
    // For the connection, the bind and each answer of the server.
    unsigned long TimeoutSeconds = 30;
    TLdapLimits Limits;
    // One page at most: a check that the server answers, not a whole read.
    bool FirstPageOnly = false;
    // On Active Directory, disabled accounts are left out of the filter's results.
    bool LeaveOutDisabledAccounts = false;
};

// One entry's values: one list per requested attribute, in the order requested.
using TLdapValues = std::vector<std::vector<std::wstring>>;
using TLdapEntrySink = std::function<void(TLdapValues& values)>;

// Connects to the first server of the list that answers, binds and reads every
// entry of the search page by page (the paged-results control), handing each to
// the sink. Any failure ends the read and is returned: a read that is not
// complete is never reported as done. Every wait for the server is short and
// looks at `stop`, except the Windows-login bind, which Windows cannot cut
// short: a stopped read then ends when that bind does.
TOrgDirectoryError ReadLdapEntries(const std::vector<std::wstring>& servers, const TLdapCredentials& credentials,
                                   const TLdapSearch& search, const TLdapEntrySink& sink,
                                   std::stop_token stop = {}, TLdapReadSummary* summary = nullptr);
