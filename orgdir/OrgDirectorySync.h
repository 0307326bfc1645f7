#pragma once
#include "KordavinUtils.h"
#include "LdapReader.h"
#include "OrgDirectoryCache.h"
#include "OrgDirectorySettings.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

// How the read talks to the server; the defaults are the program's.
struct TOrgReadOptions {
    unsigned long PageSize = TLdapSearch{}.PageSize;
    unsigned long TimeoutSeconds = TLdapSearch{}.TimeoutSeconds;
    TLdapLimits Limits;
};

// One directory entry's values as the popup shows them: the name (cn when the
// name attribute is empty), the comment attributes' first values joined with
// ", " (a value repeated by a later attribute once), every number of every
// phone attribute. Texts come as plain text on one line, cut as a CRM's are
// (kMaxNameLength, kMaxCommentLength); an entry without a name or a number has
// no numbers.
TOrgDirectoryEntry OrgEntryFromValues(const TOrgAttributes& attributes, const TLdapValues& values,
                                      const TDiallingSettings& dialling);

struct TOrgReadResult {
    TOrgDirectoryError Error;
    // Entries with a name and at least one number, in the server's order.
    std::vector<TOrgDirectoryEntry> Entries;
};

// Reads the whole directory as the settings say (only the first page with
// firstPageOnly); the stored password is decrypted for the call only.
TOrgReadResult ReadOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                const TOrgReadOptions& options = {}, std::stop_token stop = {},
                                bool firstPageOnly = false, TLdapReadSummary* summary = nullptr);

// The settings dialog's check: a bind and the first page, with how many
// entries with numbers it holds, or why none could be read.
struct TOrgCheckResult {
    TOrgDirectoryError Error;
    int64_t Entries = 0;
    int64_t Numbers = 0;
    // The server has more pages than the one read.
    bool More = false;
};
TOrgCheckResult CheckOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                  const TOrgReadOptions& options = {}, std::stop_token stop = {});

// What the cached names depend on: a change means the cache must be read again.
std::wstring OrgDirectorySource(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling);

using TOrgClock = std::function<int64_t()>;

// One whole sync: a complete read replaces the cache, anything else leaves it as
// it was and is recorded as the last sync's error. A sync the program stopped
// records nothing, whatever its read came to. Returns the status after it.
TOrgSyncStatus SyncOrgDirectory(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling,
                                TOrgDirectoryCache& cache, const TOrgReadOptions& options = {},
                                std::stop_token stop = {}, const TOrgClock& clock = {});
