#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// What a paging fake server sends.
struct TFakeLdapPages {
    int EntriesPerPage = 50;
    // The length of each entry's title, in characters.
    size_t TitleLength = 2000;
    // FreshCookies ends after this many pages; 0: never.
    int LastPage = 0;
};

// A hostile LDAP server on 127.0.0.1 in a few lines of BER: one that takes the
// connection and never answers, one that answers the bind only, or one that
// pages for ever (with the same cookie every time, or a new one each page).
// It serves until destroyed, or two minutes at most.
class TFakeLdapServer {
public:
    enum class TMode {
        Silent,        // accepts, reads, never answers
        BindOnly,      // answers binds, never a search
        SameCookie,    // every page is the same, with the same cookie
        FreshCookies,  // every page ends with a new cookie
    };
    explicit TFakeLdapServer(TMode mode, TFakeLdapPages pages = {});
    ~TFakeLdapServer();
    TFakeLdapServer(const TFakeLdapServer&) = delete;
    TFakeLdapServer& operator=(const TFakeLdapServer&) = delete;

    bool Listening() const { return listener_ != ~uintptr_t{0}; }
    std::wstring Url() const { return L"ldap://127.0.0.1:" + std::to_wstring(port_); }
    int PagesServed() const { return pages_.load(); }
    int Abandons() const { return abandons_.load(); }
    int Connections() const { return connections_.load(); }

private:
    void Serve() noexcept;

    const TMode mode_;
    const TFakeLdapPages shape_;
    uintptr_t listener_ = ~uintptr_t{0};
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> pages_{0}, abandons_{0}, connections_{0};
    std::thread thread_;
};
