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

constexpr unsigned long kLdapPort = 389;
constexpr unsigned long kLdapsPort = 636;
constexpr unsigned long kConnectSeconds = 5;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && ::_wcsnicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// Failures after which the next server of the list is worth a try.
bool IsConnectionFailure(ULONG code) {
    return code == LDAP_SERVER_DOWN || code == LDAP_TIMEOUT || code == LDAP_CONNECT_ERROR ||
           code == LDAP_UNAVAILABLE || code == LDAP_BUSY;
}

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

// The library's text for the code, and the server's own words when it sent any.
std::wstring FailureDetail(LDAP* ld, ULONG code, const wchar_t* serverMessage = nullptr) {
    std::wstring detail;
    if (const PWCHAR text = ::ldap_err2stringW(code)) detail = text;
    std::wstring fromServer = serverMessage ? serverMessage : L"";
    if (fromServer.empty() && ld) {
        PWCHAR option = nullptr;
        if (::ldap_get_optionW(ld, LDAP_OPT_SERVER_ERROR, &option) == LDAP_SUCCESS && option) {
            const LdapText owned(option);
            fromServer = owned.get();
        }
    }
    if (!fromServer.empty()) detail += (detail.empty() ? L"" : L": ") + fromServer;
    return detail;
}

TOrgDirectoryError Failure(TOrgDirectoryFailure kind, const std::wstring& server, LDAP* ld, ULONG code,
                           const wchar_t* serverMessage = nullptr) {
    return {kind, code, server, FailureDetail(ld, code, serverMessage)};
}

// A simple bind sent asynchronously, so that a server that never answers it
// holds the read only as long as the stop token and the deadline allow.
ULONG SimpleBind(LDAP* ld, PWCHAR dn, PWCHAR password, const std::stop_token& stop, TLdapClock::time_point deadline,
                 bool& stopped) {
    const ULONG id = ::ldap_simple_bindW(ld, dn, password);
    // The request could not even be sent: the connection is not there (Wine
    // has no code of its own for that here).
    if (id == static_cast<ULONG>(-1)) return static_cast<ULONG>(LDAP_SERVER_DOWN);
    LdapMessage answer;
    ULONG type = 0, code = LDAP_SUCCESS;
    switch (AwaitLdapAnswer(ld, id, LDAP_MSG_ALL, stop, deadline, answer, type, code)) {
    case TLdapWait::Answered: return ::ldap_result2error(ld, answer.get(), 0);
    case TLdapWait::Stopped: stopped = true; return LDAP_TIMEOUT;
    case TLdapWait::TimedOut: return code;
    // No answer to read: the connection failed (Wine tells it as a local error).
    default: return static_cast<ULONG>(LDAP_SERVER_DOWN);
    }
}

// Opens and binds a session to one server.
TOrgDirectoryError Connect(const std::wstring& server, const TLdapServerAddress& address,
                           const TLdapCredentials& credentials, unsigned long timeoutSeconds,
                           const std::stop_token& stop, LdapSession& session) {
    std::wstring host = address.Host;
    session.reset(address.Secure ? ::ldap_sslinitW(host.data(), address.Port, 1)
                                 : ::ldap_initW(host.data(), address.Port));
    if (!session) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, nullptr, ::LdapGetLastError());
    LDAP* ld = session.get();
    ULONG version = LDAP_VERSION3;
    ::ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Referrals would send the read on to servers nobody configured, and cost a
    // timeout each where they cannot be reached.
    ::ldap_set_optionW(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ULONG timeLimit = timeoutSeconds;
    ::ldap_set_optionW(ld, LDAP_OPT_TIMELIMIT, &timeLimit);
    // The connection itself cannot be cut short: a few seconds at most.
    l_timeval timeout{static_cast<LONG>(std::min(timeoutSeconds, kConnectSeconds)), 0};
    ULONG code = ::ldap_connect(ld, &timeout);
    if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);
    if (stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, server, {}};

    const auto deadline = TLdapClock::now() + std::chrono::seconds(timeoutSeconds);
    bool stopped = false;
    if (credentials.Negotiate) {
        // Windows has no asynchronous form of this bind.
        code = ::ldap_bind_sW(ld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
    } else if (credentials.BindDn.empty()) {
        code = SimpleBind(ld, nullptr, nullptr, stop, deadline, stopped);
    } else if (credentials.Password.empty()) {
        // A name without a password is an unauthenticated bind, which many
        // servers accept as anonymous: it would hide a forgotten password.
        return {TOrgDirectoryFailure::BindRefused, LDAP_INAPPROPRIATE_AUTH, server, {}};
    } else {
        std::wstring dn = credentials.BindDn;
        std::wstring password = credentials.Password;
        code = SimpleBind(ld, dn.data(), password.data(), stop, deadline, stopped);
        ::SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    }
    if (stopped || stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, server, {}};
    if (code == LDAP_SUCCESS) return {};
    const TOrgDirectoryFailure kind =
        IsConnectionFailure(code) ? TOrgDirectoryFailure::ServerUnreachable : TOrgDirectoryFailure::BindRefused;
    return Failure(kind, server, ld, code);
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
        // Hashes: a hostile server's cookies may be long.
        std::unordered_set<size_t> cookies;
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
            // A cookie seen before sends the read round in a circle.
            const std::string_view bytes(next.get()->bv_val, next.get()->bv_len);
            if (!cookies.insert(std::hash<std::string_view>{}(bytes)).second)
                return Fail(TOrgDirectoryFailure::PagesRepeated);
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
    const TLdapClock::time_point deadline_;
};

}  // namespace

std::optional<TLdapServerAddress> ParseLdapServer(std::wstring_view url) {
    TLdapServerAddress address;
    if (StartsWithNoCase(url, L"ldaps://")) {
        address.Secure = true;
        address.Port = kLdapsPort;
        url.remove_prefix(8);
    } else if (StartsWithNoCase(url, L"ldap://")) {
        address.Port = kLdapPort;
        url.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    if (!url.empty() && url.back() == L'/') url.remove_suffix(1);
    std::wstring_view port;
    if (!url.empty() && url.front() == L'[') {
        const size_t close = url.find(L']');
        if (close == std::wstring_view::npos) return std::nullopt;
        address.Host = url.substr(1, close - 1);
        const std::wstring_view rest = url.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != L':') return std::nullopt;
            port = rest.substr(1);
            if (port.empty()) return std::nullopt;
        }
    } else {
        const size_t colon = url.find(L':');
        address.Host = url.substr(0, colon);
        if (colon != std::wstring_view::npos) {
            port = url.substr(colon + 1);
            if (port.empty()) return std::nullopt;
        }
    }
    if (address.Host.empty() || address.Host.find_first_of(L"/?#@ ") != std::wstring::npos) return std::nullopt;
    if (!port.empty()) {
        unsigned long value = 0;
        for (const wchar_t c : port) {
            if (c < L'0' || c > L'9') return std::nullopt;
            value = value * 10 + static_cast<unsigned long>(c - L'0');
            if (value > 65535) return std::nullopt;
        }
        if (value == 0) return std::nullopt;
        address.Port = value;
    }
    return address;
}

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
        return TPagedRead(servers[i], session.get(), search, sink, stop, summary ? *summary : ignored).Run();
    }
    return failure;
}
