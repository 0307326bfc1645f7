#include "LdapConnection.h"

#include <cwchar>

namespace {

constexpr unsigned long kLdapPort = 389;
constexpr unsigned long kLdapsPort = 636;
// Not a result code: the server has not answered the StartTLS request.
constexpr ULONG kNoServerAnswer = ~0UL;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && ::_wcsnicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool SendsPassword(const TLdapCredentials& credentials) {
    return !credentials.Negotiate && !credentials.BindDn.empty() && !credentials.Password.empty();
}

TOrgDirectoryError Failure(TOrgDirectoryFailure kind, const std::wstring& server, LDAP* ld, ULONG code) {
    return {kind, code, server, LdapFailureDetail(ld, code)};
}

// A connected session, TLS from the start for ldaps://.
TOrgDirectoryError Open(const std::wstring& server, const TLdapServerAddress& address, unsigned long timeoutSeconds,
                        LdapSession& session) {
    std::wstring host = address.Host;
    session.reset(address.Secure ? ::ldap_sslinitW(host.data(), address.Port, 1)
                                 : ::ldap_initW(host.data(), address.Port));
    if (!session) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, nullptr, ::LdapGetLastError());
    LDAP* ld = session.get();
    ULONG version = LDAP_VERSION3;
    ::ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    // Active Directory answers a search from the domain's root with references to
    // its other partitions, named by the domain's DNS name: chasing them costs a
    // timeout each where that name does not resolve, and reads what nobody asked for.
    ::ldap_set_optionW(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ULONG timeLimit = timeoutSeconds;
    ::ldap_set_optionW(ld, LDAP_OPT_TIMELIMIT, &timeLimit);
    l_timeval timeout{static_cast<LONG>(timeoutSeconds), 0};
    const ULONG code = ::ldap_connect(ld, &timeout);
    if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);
    return {};
}

// StartTLS on a plain session: refused by the server, or failed on this side
// (a certificate this computer does not trust, a broken handshake).
TOrgDirectoryError StartTls(const std::wstring& server, LDAP* ld) {
    ULONG serverCode = kNoServerAnswer;
    LDAPMessage* answer = nullptr;
    const ULONG code = ::ldap_start_tls_sW(ld, &serverCode, &answer, nullptr, nullptr);
    const LdapMessage owned(answer);
    if (code == LDAP_SUCCESS) return {};
    if (code == LDAP_SERVER_DOWN || code == LDAP_TIMEOUT || code == LDAP_CONNECT_ERROR)
        return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);
    // Windows gives the server's answer in serverCode; Wine leaves that alone and
    // returns the answer itself. Codes from LDAP_SERVER_DOWN on are this side's.
    if (serverCode != kNoServerAnswer && serverCode != LDAP_SUCCESS)
        return Failure(TOrgDirectoryFailure::StartTlsRefused, server, ld, serverCode);
    const bool answered = code < LDAP_SERVER_DOWN;
    return Failure(answered ? TOrgDirectoryFailure::StartTlsRefused : TOrgDirectoryFailure::TlsFailed, server, ld,
                   code);
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

std::wstring LdapFailureDetail(LDAP* ld, unsigned long code, const wchar_t* serverMessage) {
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

TOrgDirectoryError OpenLdapConnection(const std::wstring& server, const TLdapServerAddress& address,
                                      const TLdapCredentials& credentials, unsigned long timeoutSeconds,
                                      LdapSession& session) {
    if (TOrgDirectoryError failure = Open(server, address, timeoutSeconds, session)) return failure;
    // Anonymous and Windows logins send no password; the latter signs its own way.
    if (address.Secure || !SendsPassword(credentials)) return {};
    TOrgDirectoryError failure = StartTls(server, session.get());
    if (!failure || failure.Kind == TOrgDirectoryFailure::ServerUnreachable || !credentials.AllowPlainBind)
        return failure;
    // A failed StartTLS may leave the connection half-way; the plain bind gets a new one.
    session.reset();
    return Open(server, address, timeoutSeconds, session);
}

bool IsActiveDirectory(LDAP* ld, unsigned long timeoutSeconds) {
    // LDAP_CAP_ACTIVE_DIRECTORY_OID, which Samba's domain controller names as well.
    constexpr wchar_t kActiveDirectoryCapability[] = L"1.2.840.113556.1.4.800";
    std::wstring base, filter = L"(objectClass=*)", attribute = L"supportedCapabilities";
    PWCHAR attributes[] = {attribute.data(), nullptr};
    l_timeval timeout{static_cast<LONG>(timeoutSeconds), 0};
    LDAPMessage* result = nullptr;
    const ULONG code = ::ldap_search_ext_sW(ld, base.data(), LDAP_SCOPE_BASE, filter.data(), attributes, 0, nullptr,
                                            nullptr, &timeout, 1, &result);
    const LdapMessage owned(result);
    if (code != LDAP_SUCCESS || !owned) return false;
    LDAPMessage* entry = ::ldap_first_entry(ld, owned.get());
    if (!entry) return false;
    const LdapValues values(::ldap_get_valuesW(ld, entry, attribute.data()));
    if (!values) return false;
    for (PWCHAR* value = values.get(); *value; ++value)
        if (std::wstring_view(*value) == kActiveDirectoryCapability) return true;
    return false;
}

std::wstring EnabledAccountsFilter(const std::wstring& filter) {
    return L"(&" + filter + kLdapEnabledAccountsFilter + L")";
}

TOrgDirectoryFailure BindFailureKind(unsigned long code) {
    switch (code) {
    case LDAP_SUCCESS: return TOrgDirectoryFailure::None;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_CONNECT_ERROR:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY: return TOrgDirectoryFailure::ServerUnreachable;
    // Active Directory that requires signing, slapd with a minimum security strength.
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED: return TOrgDirectoryFailure::TlsRequired;
    default: return TOrgDirectoryFailure::BindRefused;
    }
}

TOrgDirectoryError BindLdapConnection(const std::wstring& server, LDAP* ld, const TLdapCredentials& credentials) {
    ULONG code = LDAP_SUCCESS;
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
    const TOrgDirectoryFailure kind = BindFailureKind(code);
    if (kind == TOrgDirectoryFailure::None) return {};
    return Failure(kind, server, ld, code);
}
