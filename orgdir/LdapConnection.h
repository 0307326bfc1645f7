#pragma once
#include "LdapHandles.h"
#include "OrgDirectoryError.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

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
    // A password may go over ldap:// unencrypted when the server refuses StartTLS.
    bool AllowPlainBind = false;
};

// A session with one server, ready for a bind: LDAP v3, referrals never chased
// (they lead to servers nobody configured, often unreachable from here), the
// connection made within the timeout. ldaps:// is encrypted from the start; on
// ldap:// a password bind first asks for StartTLS, and when that fails the bind
// is refused (StartTlsRefused, TlsFailed) unless the credentials allow a plain
// bind, which then goes over a fresh unencrypted connection. StartTLS waits at
// most timeoutSeconds and ends at `stop` (Cancelled).
TOrgDirectoryError OpenLdapConnection(const std::wstring& server, const TLdapServerAddress& address,
                                      const TLdapCredentials& credentials, unsigned long timeoutSeconds,
                                      LdapSession& session, const std::stop_token& stop = {});

// The bind: anonymous, with the DN and password, or as the Windows user. A server
// that wants encryption first says so (TlsRequired). The simple binds wait at
// most timeoutSeconds, looking at `stop` (Cancelled); Windows cannot cut the
// Windows-login bind short.
TOrgDirectoryError BindLdapConnection(const std::wstring& server, LDAP* ld, const TLdapCredentials& credentials,
                                      const std::stop_token& stop = {}, unsigned long timeoutSeconds = 30);

// Whether the server is Active Directory (or a Samba domain controller), by its
// root entry's capabilities; false when that cannot be read in time or at all.
bool IsActiveDirectory(LDAP* ld, const std::stop_token& stop, unsigned long timeoutSeconds);

// Active Directory keeps disabled accounts (userAccountControl's bit 2) with their
// numbers. Other servers know neither the attribute nor the matching rule and
// would match nothing, so this is for Active Directory only.
inline constexpr wchar_t kLdapEnabledAccountsFilter[] = L"(!(userAccountControl:1.2.840.113556.1.4.803:=2))";

// The filter with disabled accounts left out.
std::wstring EnabledAccountsFilter(const std::wstring& filter);

// What a bind's result code means for the program: None for success.
TOrgDirectoryFailure BindFailureKind(unsigned long code);

// The library's text for the code, and the server's own words when it sent any.
std::wstring LdapFailureDetail(LDAP* ld, unsigned long code, const wchar_t* serverMessage = nullptr);
