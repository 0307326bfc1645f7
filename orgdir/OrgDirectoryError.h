#pragma once
#include <string>

// Why reading the organisation's directory failed; windows turn it into words.
enum class TOrgDirectoryFailure {
    None,
    NotConfigured,       // no server given
    BadServerAddress,    // an entry of the server list is no ldap:// or ldaps:// address
    ServerUnreachable,   // no server of the list answered
    BindRefused,         // the server refused the name and password (or the Windows login)
    PasswordUnreadable,  // the stored password was encrypted for another Windows user
    NoSuchBase,          // the search base does not exist on the server
    BadFilter,           // the server did not accept the filter
    SearchRefused,       // any other refusal of the search (access, limits, ...)
    Interrupted,         // the connection broke or timed out during the read: it is incomplete
    Cancelled,           // the program stopped the read
    CacheFailed,         // the names read could not be kept on this computer
    // A read past what a whole directory can be is a server gone wrong: it is
    // stopped and fails, as an interrupted one does.
    PagesRepeated,   // the server handed out a page's position (cookie) it had already given
    TooManyPages,    // more pages than the read's limit
    TooManyEntries,  // more entries than the read's limit
    TooMuchData,     // more text than the read's limit
    TookTooLong,     // the whole read went on past its time limit
    StartTlsRefused,     // ldap:// with a password: the server refused StartTLS, so no password was sent
    TlsFailed,           // no encrypted connection: this computer did not trust the server's certificate, or the handshake broke
    TlsRequired,         // the server takes no password without encryption (Active Directory requiring signing)
};

struct TOrgDirectoryError {
    TOrgDirectoryFailure Kind = TOrgDirectoryFailure::None;
    // The LDAP result code (0 when the failure is not the server's).
    unsigned long LdapCode = 0;
    // The server (as configured) the failure came from, when there is one.
    std::wstring Server;
    // The server's own message, or the library's text for the code.
    std::wstring Detail;

    explicit operator bool() const { return Kind != TOrgDirectoryFailure::None; }
    bool operator==(const TOrgDirectoryError&) const = default;
};
