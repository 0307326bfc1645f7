#pragma once
#include "LinuxScript.h"
#include "TestFolders.h"

#include <string>
#include <utility>
#include <vector>

// A throw-away OpenLDAP server on a free loopback port for one test, run on the
// Linux side by slapd-control.sh (Wine starts Unix programs but does not wait
// for them: the script leaves its exit code in a file that is waited for).
// Suffix dc=kordavin,dc=test; the manager cn=admin,dc=kordavin,dc=test with the
// password kManagerPassword. Stopped when the object goes.
// How the server treats encryption.
enum class TSlapdSecurity {
    Plain,           // no TLS at all; every bind taken as it comes
    Tls,             // a self-signed certificate: StartTLS and ldaps:// (SecureUrl); passwords refused unencrypted
    PlainRefusing,   // no TLS, and passwords refused unencrypted
};

class TSlapdServer {
public:
    static constexpr const wchar_t* kSuffix = L"dc=kordavin,dc=test";
    static constexpr const wchar_t* kManagerDn = L"cn=admin,dc=kordavin,dc=test";
    static constexpr const wchar_t* kManagerPassword = L"admin-secret";

    TSlapdServer() = default;
    ~TSlapdServer();
    TSlapdServer(const TSlapdServer&) = delete;
    TSlapdServer& operator=(const TSlapdServer&) = delete;

    // Only under Wine: the server is a Linux program.
    static bool Available();

    // Loads the entries (LDIF below the suffix; the suffix entry itself is added)
    // and starts the server. sizeLimit 0: none; otherwise searches by anyone but
    // the manager stop after that many entries, unless paged. False with the
    // script's log in `why`.
    bool Start(const std::wstring& entriesLdif, int sizeLimit, std::string& why,
               TSlapdSecurity security = TSlapdSecurity::Plain);
    bool Stop(std::string& why);
    bool Restart(std::string& why);
    // ldapmodify as the manager.
    bool Modify(const std::wstring& changesLdif, std::string& why);

    int Port() const { return port_; }
    std::wstring Url() const { return L"ldap://127.0.0.1:" + std::to_wstring(port_); }
    // ldaps://, for a server started with TSlapdSecurity::Tls.
    std::wstring SecureUrl() const { return L"ldaps://127.0.0.1:" + std::to_wstring(securePort_); }

private:
    bool Run(const std::wstring& arguments, std::string& why, unsigned timeoutMs = 60000);
    std::wstring WriteFile(const std::wstring& name, const std::wstring& text);

    TempFolder folder_;
    int port_ = 0;
    int securePort_ = 0;
    bool started_ = false;
};

// One person below ou=people of the test suffix, as LDIF: inetOrgPerson with the
// uid, a cn and sn (the uid, unless given) and the attributes, repeated names
// giving several values.
using TLdifAttributes = std::vector<std::pair<std::wstring, std::wstring>>;
std::wstring LdifPerson(const std::wstring& uid, const TLdifAttributes& attributes);
std::wstring PersonDn(const std::wstring& uid);
