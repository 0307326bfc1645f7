#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Why an entry of DBAllowedClients could not be read.
enum class TAllowListProblem {
    NotAnAddress,     // neither a dotted IPv4 address nor one with a prefix length
    Wildcard,         // "192.168.1.*": ranges are written with a prefix length
    WrongSeparator,   // ";" or a blank between entries, which are separated by commas
    BadPrefixLength,  // the part after "/" is not a number from 0 to 32
};

struct TUnreadableEntry {
    TAllowListProblem Problem = TAllowListProblem::NotAnAddress;
    std::wstring Entry;  // as written, without the blanks around it
    bool operator==(const TUnreadableEntry&) const = default;
};

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
    // The entries that could not be read, in their order, each with why.
    const std::vector<TUnreadableEntry>& Unreadable() const { return FUnreadable; }
    // The first of them: what a user is told to mend.
    std::optional<TUnreadableEntry> FirstUnreadable() const;

private:
    struct Range {
        uint32_t network;  // host byte order, masked
        uint32_t mask;
    };
    bool FRestricted = false;
    std::vector<Range> FRanges;
    std::vector<TUnreadableEntry> FUnreadable;
};
