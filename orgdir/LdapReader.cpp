#include "LdapReader.h"

#include "LdapAwait.h"
#include "LdapHandles.h"

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

TOrgDirectoryFailure SearchFailureKind(ULONG code) {
    switch (code) {
    case LDAP_NO_SUCH_OBJECT:
    case LDAP_INVALID_DN_SYNTAX: return TOrgDirectoryFailure::NoSuchBase;
    case LDAP_FILTER_ERROR: return TOrgDirectoryFailure::BadFilter;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_CONNECT_ERROR:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
    case LDAP_TIMELIMIT_EXCEEDED:
    case LDAP_DECODING_ERROR:
    case LDAP_ENCODING_ERROR: return TOrgDirectoryFailure::Interrupted;
    default: return TOrgDirectoryFailure::SearchRefused;
    }
}

TOrgDirectoryError Failure(TOrgDirectoryFailure kind, const std::wstring& server, LDAP* ld, ULONG code,
                           const wchar_t* serverMessage = nullptr) {
    return {kind, code, server, LdapFailureDetail(ld, code, serverMessage)};
}

// Opens and binds a session to one server.
TOrgDirectoryError Connect(const std::wstring& server, const TLdapServerAddress& address,
                           const TLdapCredentials& credentials, unsigned long timeoutSeconds,
                           const std::stop_token& stop, LdapSession& session) {
    if (TOrgDirectoryError failure = OpenLdapConnection(server, address, credentials, timeoutSeconds, session, stop))
        return failure;
    if (stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, server, {}};
    return BindLdapConnection(server, session.get(), credentials, stop, timeoutSeconds);
}

// One entry's values, each cut to what a popup can use; counts the text as received.
void ReadEntry(LDAP* ld, LDAPMessage* entry, std::vector<std::wstring>& attributes, TLdapValues& values,
               uint64_t& bytes) {
    for (size_t i = 0; i < attributes.size(); ++i) values[i].clear();
    for (size_t i = 0; i < attributes.size(); ++i) {
        const LdapValues found(::ldap_get_valuesW(ld, entry, attributes[i].data()));
        if (!found) continue;
        for (PWCHAR* value = found.get(); *value; ++value) {
            const size_t length = std::wcslen(*value);
            bytes += length * sizeof(wchar_t);
            if (values[i].size() < kMaxLdapValues)
                values[i].emplace_back(*value, std::min(length, kMaxLdapValueLength));
        }
    }
}

// Reads the search page by page, each entry as it arrives, within the limits.
class TPagedRead {
public:
    TPagedRead(const std::wstring& server, LDAP* ld, const TLdapSearch& search, const TLdapEntrySink& sink,
               const std::stop_token& stop, TLdapReadSummary& summary)
        : server_(server), ld_(ld), search_(search), sink_(sink), stop_(stop), summary_(summary),
          base_(search.Base), filter_(search.Filter), attributes_(search.Attributes),
          values_(search.Attributes.size()),
          deadline_(TLdapClock::now() + std::chrono::seconds(search.Limits.MaxSeconds)) {
        for (std::wstring& attribute : attributes_) attributeList_.push_back(attribute.data());
        attributeList_.push_back(nullptr);
    }

    TOrgDirectoryError Run() {
        LdapBerval cookie;
        // Hashes of a page's cookie with its first entry: a hostile server's cookies may be long.
        std::unordered_set<size_t> pages;
        for (;;) {
            if (stop_.stop_requested()) return Fail(TOrgDirectoryFailure::Cancelled);
            if (summary_.Pages >= search_.Limits.MaxPages) return Fail(TOrgDirectoryFailure::TooManyPages);
            LdapBerval next;
            bool more = false;
            if (TOrgDirectoryError failure = ReadPage(cookie.get(), next, more)) return failure;
            ++summary_.Pages;
            if (!more) return {};
            if (search_.FirstPageOnly) {
                summary_.MorePages = true;
                return {};
            }
            // A page seen before sends the read round in a circle. The cookie alone
            // does not tell: Samba's domain controller hands out the same one for
            // every page of a search, and its pages go on.
            const std::string_view bytes(next.get()->bv_val, next.get()->bv_len);
            const size_t page = std::hash<std::string_view>{}(bytes) * 31 + std::hash<std::wstring>{}(firstDn_);
            if (!pages.insert(page).second) return Fail(TOrgDirectoryFailure::PagesRepeated);
            cookie = std::move(next);
        }
    }

private:
    TOrgDirectoryError Fail(TOrgDirectoryFailure kind) const { return {kind, 0, server_, {}}; }

    // One page: its entries to the sink; `more` with the cookie of the next page.
    TOrgDirectoryError ReadPage(berval* cookie, LdapBerval& next, bool& more) {
        PLDAPControlW created = nullptr;
        // Not critical: a server without paging answers in one go, and one that
        // then stops at its size limit is caught below.
        ULONG code = ::ldap_create_page_controlW(ld_, search_.PageSize, cookie, FALSE, &created);
        const LdapControl pageControl(created);
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::SearchRefused, server_, ld_, code);
        firstDn_.clear();
        PLDAPControlW serverControls[] = {pageControl.get(), nullptr};
        ULONG id = 0;
        code = ::ldap_search_extW(ld_, base_.data(), LDAP_SCOPE_SUBTREE, filter_.data(), attributeList_.data(), 0,
                                  serverControls, nullptr, search_.TimeoutSeconds, 0, &id);
        if (code != LDAP_SUCCESS) return Failure(SearchFailureKind(code), server_, ld_, code);
        bool ended = false;
        for (;;) {
            // The server has the time-out for each answer, the read its own limit in all.
            const auto deadline =
                std::min(deadline_, TLdapClock::now() + std::chrono::seconds(search_.TimeoutSeconds));
            // What has come so far: the entries, and the page's end once it is there.
            LdapMessage answer;
            ULONG type = 0;
            switch (AwaitLdapAnswer(ld_, id, LDAP_MSG_RECEIVED, stop_, deadline, answer, type, code)) {
            case TLdapWait::Answered: break;
            case TLdapWait::Stopped: return Fail(TOrgDirectoryFailure::Cancelled);
            case TLdapWait::TimedOut:
                if (deadline >= deadline_) return Fail(TOrgDirectoryFailure::TookTooLong);
                return Failure(TOrgDirectoryFailure::Interrupted, server_, ld_, code);
            case TLdapWait::Failed: return Failure(TOrgDirectoryFailure::Interrupted, server_, ld_, code);
            }
            for (LDAPMessage* entry = ::ldap_first_entry(ld_, answer.get()); entry;
                 entry = ::ldap_next_entry(ld_, entry)) {
                if (TOrgDirectoryError failure = TakeEntry(entry)) {
                    ::ldap_abandon(ld_, id);
                    return failure;
                }
            }
            // References are not followed; entries alone leave the page open.
            if (TOrgDirectoryError failure = PageEnd(answer.get(), next, more, ended)) return failure;
            if (ended) return {};
        }
    }

    TOrgDirectoryError TakeEntry(LDAPMessage* entry) {
        if (firstDn_.empty()) {
            const LdapText dn(::ldap_get_dnW(ld_, entry));
            if (dn) firstDn_ = dn.get();
        }
        ReadEntry(ld_, entry, attributes_, values_, summary_.Bytes);
        if (++summary_.Entries > search_.Limits.MaxEntries) return Fail(TOrgDirectoryFailure::TooManyEntries);
        if (summary_.Bytes > search_.Limits.MaxBytes) return Fail(TOrgDirectoryFailure::TooMuchData);
        sink_(values_);
        return {};
    }

    // The page's end in the messages received, when it is among them.
    TOrgDirectoryError PageEnd(LDAPMessage* received, LdapBerval& next, bool& more, bool& ended) {
        ULONG resultCode = LDAP_SUCCESS;
        PWCHAR message = nullptr;
        PLDAPControlW* returned = nullptr;
        const ULONG code =
            ::ldap_parse_resultW(ld_, received, &resultCode, nullptr, &message, nullptr, &returned, FALSE);
        const LdapText serverMessage(message);
        const LdapControls returnedControls(returned);
        ended = code != LDAP_NO_RESULTS_RETURNED;
        if (!ended) return {};
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::Interrupted, server_, ld_, code);
        if (resultCode != LDAP_SUCCESS)
            return Failure(SearchFailureKind(resultCode), server_, ld_, resultCode, serverMessage.get());
        // No page control in the answer: the server sent everything at once.
        if (!returnedControls) return {};
        ULONG total = 0;
        berval* cookie = nullptr;
        if (::ldap_parse_page_controlW(ld_, returnedControls.get(), &total, &cookie) != LDAP_SUCCESS) return {};
        next.reset(cookie);
        more = next && next.get()->bv_len != 0;
        return {};
    }

    const std::wstring& server_;
    LDAP* ld_;
    const TLdapSearch& search_;
    const TLdapEntrySink& sink_;
    const std::stop_token& stop_;
    TLdapReadSummary& summary_;
    std::wstring base_, filter_;
    std::vector<std::wstring> attributes_;
    std::vector<PWCHAR> attributeList_;
    TLdapValues values_;
    // The distinguished name of the page's first entry.
    std::wstring firstDn_;
    const TLdapClock::time_point deadline_;
};

}  // namespace

TOrgDirectoryError ReadLdapEntries(const std::vector<std::wstring>& servers, const TLdapCredentials& credentials,
                                   const TLdapSearch& search, const TLdapEntrySink& sink, std::stop_token stop,
                                   TLdapReadSummary* summary) {
    if (servers.empty()) return {TOrgDirectoryFailure::NotConfigured, 0, {}, {}};
    // A mistyped entry is told even when a working server stands before it.
    std::vector<TLdapServerAddress> addresses;
    for (const std::wstring& server : servers) {
        std::optional<TLdapServerAddress> address = ParseLdapServer(server);
        if (!address) return {TOrgDirectoryFailure::BadServerAddress, 0, server, {}};
        addresses.push_back(std::move(*address));
    }
    TOrgDirectoryError failure;
    for (size_t i = 0; i < servers.size(); ++i) {
        if (stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, servers[i], {}};
        LdapSession session;
        failure = Connect(servers[i], addresses[i], credentials, search.TimeoutSeconds, stop, session);
        if (failure.Kind == TOrgDirectoryFailure::ServerUnreachable) continue;
        if (failure) return failure;
        TLdapReadSummary ignored;
        TLdapSearch enabledOnly;
        const bool activeDirectory = search.LeaveOutDisabledAccounts &&
                                     IsActiveDirectory(session.get(), stop, search.TimeoutSeconds);
        if (stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, servers[i], {}};
        if (activeDirectory) {
            enabledOnly = search;
            enabledOnly.Filter = EnabledAccountsFilter(search.Filter);
        }
        return TPagedRead(servers[i], session.get(), activeDirectory ? enabledOnly : search, sink, stop,
                          summary ? *summary : ignored)
            .Run();
    }
    return failure;
}
