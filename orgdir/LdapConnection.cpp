#include "LdapConnection.h"

#include "LdapAwait.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <memory>
#include <thread>

namespace {

constexpr unsigned long kLdapPort = 389;
constexpr unsigned long kLdapsPort = 636;
constexpr unsigned long kConnectSeconds = 5;
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
    // The connection itself cannot be cut short: a few seconds at most.
    l_timeval timeout{static_cast<LONG>(std::min(timeoutSeconds, kConnectSeconds)), 0};
    const ULONG code = ::ldap_connect(ld, &timeout);
    if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);
    return {};
}

// What a StartTLS call on its own thread hands back. Guarded by Lock.
struct TStartTlsCall {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;
    ULONG Code = LDAP_SUCCESS;
    ULONG ServerCode = kNoServerAnswer;
    // The helper thread's while the call runs; handed back when it ends in time.
    LdapSession Session;
};

// ldap_start_tls_s has neither an asynchronous form nor a time-out: a server that
// takes the request and never answers it would hold the caller for ever. So it
// runs on a thread of its own, which owns the session until the call returns;
// the caller waits in short slices and, at the stop or the deadline, leaves the
// thread (and the session) behind, to end whenever the call does.
enum class TStartTlsWait { Ended, Stopped, TimedOut };
TStartTlsWait StartTlsWithin(LdapSession& session, const std::stop_token& stop, TLdapClock::time_point deadline,
                             ULONG& code, ULONG& serverCode) {
    auto call = std::make_shared<TStartTlsCall>();
    call->Session = std::move(session);
    try {
        std::thread([call]() noexcept {
            ULONG serverAnswer = kNoServerAnswer;
            LDAPMessage* answer = nullptr;
            const ULONG result = ::ldap_start_tls_sW(call->Session.get(), &serverAnswer, &answer, nullptr, nullptr);
            const LdapMessage owned(answer);
            try {
                const std::lock_guard held(call->Lock);
                call->Code = result;
                call->ServerCode = serverAnswer;
                call->Finished = true;
            } catch (...) {
            }
            call->Done.notify_all();
        }).detach();
    } catch (...) {
        session = std::move(call->Session);
        code = static_cast<ULONG>(LDAP_LOCAL_ERROR);
        return TStartTlsWait::Ended;
    }
    std::unique_lock held(call->Lock);
    while (!call->Finished) {
        if (stop.stop_requested()) return TStartTlsWait::Stopped;
        if (TLdapClock::now() >= deadline) return TStartTlsWait::TimedOut;
        call->Done.wait_for(held, kLdapPollSlice);
    }
    session = std::move(call->Session);
    code = call->Code;
    serverCode = call->ServerCode;
    return TStartTlsWait::Ended;
}

// StartTLS on a plain session: refused by the server, or failed on this side
// (a certificate this computer does not trust, a broken handshake).
TOrgDirectoryError StartTls(const std::wstring& server, LdapSession& session, const std::stop_token& stop,
                            unsigned long timeoutSeconds) {
    ULONG code = LDAP_SUCCESS;
    ULONG serverCode = kNoServerAnswer;
    switch (StartTlsWithin(session, stop, TLdapClock::now() + std::chrono::seconds(timeoutSeconds), code, serverCode)) {
    case TStartTlsWait::Stopped: return {TOrgDirectoryFailure::Cancelled, 0, server, {}};
    case TStartTlsWait::TimedOut:
        return Failure(TOrgDirectoryFailure::ServerUnreachable, server, nullptr, static_cast<ULONG>(LDAP_TIMEOUT));
    case TStartTlsWait::Ended: break;
    }
    LDAP* ld = session.get();
    if (code == LDAP_SUCCESS) return {};
    if (code == LDAP_TIMEOUT) return Failure(TOrgDirectoryFailure::ServerUnreachable, server, ld, code);
    // Windows gives the server's answer in serverCode; Wine leaves that alone and
    // returns the answer itself. Codes from LDAP_SERVER_DOWN on are this side's:
    // the server took the connection, so one that drops it at StartTLS (Samba
    // without TLS does) failed the encryption, not the connection.
    if (serverCode != kNoServerAnswer && serverCode != LDAP_SUCCESS)
        return Failure(TOrgDirectoryFailure::StartTlsRefused, server, ld, serverCode);
    const bool answered = code < LDAP_SERVER_DOWN;
    return Failure(answered ? TOrgDirectoryFailure::StartTlsRefused : TOrgDirectoryFailure::TlsFailed, server, ld,
                   code);
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
                                      LdapSession& session, const std::stop_token& stop) {
    if (TOrgDirectoryError failure = Open(server, address, timeoutSeconds, session)) return failure;
    // Anonymous and Windows logins send no password; the latter signs its own way.
    if (address.Secure || !SendsPassword(credentials)) return {};
    TOrgDirectoryError failure = StartTls(server, session, stop, timeoutSeconds);
    if (!failure || failure.Kind == TOrgDirectoryFailure::ServerUnreachable ||
        failure.Kind == TOrgDirectoryFailure::Cancelled || !credentials.AllowPlainBind)
        return failure;
    // A failed StartTLS may leave the connection half-way; the plain bind gets a new one.
    session.reset();
    return Open(server, address, timeoutSeconds, session);
}

bool IsActiveDirectory(LDAP* ld, const std::stop_token& stop, unsigned long timeoutSeconds) {
    // LDAP_CAP_ACTIVE_DIRECTORY_OID, which Samba's domain controller names as well.
    constexpr wchar_t kActiveDirectoryCapability[] = L"1.2.840.113556.1.4.800";
    std::wstring base, filter = L"(objectClass=*)", attribute = L"supportedCapabilities";
    PWCHAR attributes[] = {attribute.data(), nullptr};
    ULONG id = 0;
    if (::ldap_search_extW(ld, base.data(), LDAP_SCOPE_BASE, filter.data(), attributes, 0, nullptr, nullptr,
                           timeoutSeconds, 1, &id) != LDAP_SUCCESS)
        return false;
    LdapMessage answer;
    ULONG type = 0, code = LDAP_SUCCESS;
    const auto deadline = TLdapClock::now() + std::chrono::seconds(timeoutSeconds);
    if (AwaitLdapAnswer(ld, id, LDAP_MSG_ALL, stop, deadline, answer, type, code) != TLdapWait::Answered) return false;
    LDAPMessage* entry = ::ldap_first_entry(ld, answer.get());
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

TOrgDirectoryError BindLdapConnection(const std::wstring& server, LDAP* ld, const TLdapCredentials& credentials,
                                      const std::stop_token& stop, unsigned long timeoutSeconds) {
    const auto deadline = TLdapClock::now() + std::chrono::seconds(timeoutSeconds);
    bool stopped = false;
    ULONG code = LDAP_SUCCESS;
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
    const TOrgDirectoryFailure kind = BindFailureKind(code);
    if (kind == TOrgDirectoryFailure::None) return {};
    return Failure(kind, server, ld, code);
}
