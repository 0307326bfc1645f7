#include "LdapReader.h"

#include "LdapHandles.h"

#include <cwchar>

namespace {

constexpr unsigned long kLdapPort = 389;
constexpr unsigned long kLdapsPort = 636;

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

// Opens and binds a session to one server.
TOrgDirectoryError Connect(const std::wstring& server, const TLdapServerAddress& address,
                           const TLdapCredentials& credentials, unsigned long timeoutSeconds, LdapSession& session) {
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
    l_timeval timeout{static_cast<LONG>(timeoutSeconds), 0};
    ULONG code = ::ldap_connect(ld, &timeout);
    if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);

    if (credentials.Negotiate) {
        code = ::ldap_bind_sW(ld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
    } else if (credentials.BindDn.empty()) {
        code = ::ldap_simple_bind_sW(ld, nullptr, nullptr);
    } else if (credentials.Password.empty()) {
        // A name without a password is an unauthenticated bind, which many
        // servers accept as anonymous: it would hide a forgotten password.
        return {TOrgDirectoryFailure::BindRefused, LDAP_INAPPROPRIATE_AUTH, server, {}};
    } else {
        std::wstring dn = credentials.BindDn;
        std::wstring password = credentials.Password;
        code = ::ldap_simple_bind_sW(ld, dn.data(), password.data());
        ::SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    }
    if (code == LDAP_SUCCESS) return {};
    const TOrgDirectoryFailure kind =
        IsConnectionFailure(code) ? TOrgDirectoryFailure::ServerUnreachable : TOrgDirectoryFailure::BindRefused;
    return Failure(kind, server, ld, code);
}

void ReadPageEntries(LDAP* ld, LDAPMessage* page, std::vector<std::wstring>& attributes, const TLdapEntrySink& sink) {
    TLdapValues values(attributes.size());
    for (LDAPMessage* entry = ::ldap_first_entry(ld, page); entry; entry = ::ldap_next_entry(ld, entry)) {
        for (size_t i = 0; i < attributes.size(); ++i) {
            values[i].clear();
            const LdapValues found(::ldap_get_valuesW(ld, entry, attributes[i].data()));
            if (!found) continue;
            for (PWCHAR* value = found.get(); *value; ++value) values[i].emplace_back(*value);
        }
        sink(values);
    }
}

TOrgDirectoryError PagedSearch(const std::wstring& server, LDAP* ld, const TLdapSearch& search,
                               const TLdapEntrySink& sink, const std::stop_token& stop) {
    std::wstring base = search.Base;
    std::wstring filter = search.Filter;
    std::vector<std::wstring> attributes = search.Attributes;
    std::vector<PWCHAR> attributeList;
    for (std::wstring& attribute : attributes) attributeList.push_back(attribute.data());
    attributeList.push_back(nullptr);

    LdapBerval cookie;
    for (;;) {
        if (stop.stop_requested()) return {TOrgDirectoryFailure::Cancelled, 0, server, {}};
        PLDAPControlW created = nullptr;
        // Not critical: a server without paging answers in one go, and one that
        // then stops at its size limit is caught below.
        ULONG code = ::ldap_create_page_controlW(ld, search.PageSize, cookie.get(), FALSE, &created);
        const LdapControl pageControl(created);
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::SearchRefused, server, ld, code);
        PLDAPControlW serverControls[] = {pageControl.get(), nullptr};
        l_timeval timeout{static_cast<LONG>(search.TimeoutSeconds), 0};
        LDAPMessage* result = nullptr;
        code = ::ldap_search_ext_sW(ld, base.data(), LDAP_SCOPE_SUBTREE, filter.data(), attributeList.data(), 0,
                                    serverControls, nullptr, &timeout, 0, &result);
        const LdapMessage page(result);
        if (code != LDAP_SUCCESS) return Failure(SearchFailureKind(code), server, ld, code);
        if (!page) return Failure(TOrgDirectoryFailure::Interrupted, server, ld, LDAP_NO_RESULTS_RETURNED);

        ULONG resultCode = LDAP_SUCCESS;
        PWCHAR message = nullptr;
        PLDAPControlW* returned = nullptr;
        code = ::ldap_parse_resultW(ld, page.get(), &resultCode, nullptr, &message, nullptr, &returned, FALSE);
        const LdapText serverMessage(message);
        const LdapControls returnedControls(returned);
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::Interrupted, server, ld, code);
        if (resultCode != LDAP_SUCCESS)
            return Failure(SearchFailureKind(resultCode), server, ld, resultCode, serverMessage.get());

        ReadPageEntries(ld, page.get(), attributes, sink);

        // No page control in the answer: the server sent everything at once.
        if (!returnedControls) return {};
        ULONG total = 0;
        berval* next = nullptr;
        if (::ldap_parse_page_controlW(ld, returnedControls.get(), &total, &next) != LDAP_SUCCESS) return {};
        cookie.reset(next);
        if (!cookie || cookie.get()->bv_len == 0) return {};
    }
}

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
                                   const TLdapSearch& search, const TLdapEntrySink& sink, std::stop_token stop) {
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
        failure = Connect(servers[i], addresses[i], credentials, search.TimeoutSeconds, session);
        if (failure.Kind == TOrgDirectoryFailure::ServerUnreachable) continue;
        if (failure) return failure;
        return PagedSearch(servers[i], session.get(), search, sink, stop);
    }
    return failure;
}
