#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Which client addresses the directory server answers: the setting
// DBAllowedClients, IPv4 addresses and CIDR ranges separated by commas
// ("192.168.1.0/24,10.0.0.7"). An empty setting lets every client in.
class TAllowedClients {
public:
    TAllowedClients() = default;
    // Blanks around entries are ignored. An entry that is not an address or a
    // range admits nobody, so a typing error never opens the server wider.
    static TAllowedClients Parse(const std::wstring& text);

    // address: IPv4 in network byte order.
    bool Allows(uint32_t address) const;
    bool AllowsEveryone() const { return !FRestricted; }
    // The entries that could not be read, as written.
    const std::vector<std::wstring>& Rejected() const { return FRejected; }

private:
    struct Range {
        uint32_t network;  // host byte order, masked
        uint32_t mask;
    };
    bool FRestricted = false;
    std::vector<Range> FRanges;
    std::vector<std::wstring> FRejected;
};
