// Which addresses the directory server lets in.
#include <gtest/gtest.h>

#include "AllowedClients.h"

#include <winsock2.h>

#include <optional>
#include <vector>

namespace {

uint32_t Address(const char* dotted) { return ::inet_addr(dotted); }

TEST(AllowedClients, AddressesAndRangesAdmitExactlyTheirClients) {
    const struct {
        const wchar_t* setting;
        const char* client;
        bool allowed;
    } cases[] = {
        {L"", "203.0.113.9", true},
        {L" , ", "203.0.113.9", true},
        {L"10.0.0.7", "10.0.0.7", true},
        {L"10.0.0.7", "10.0.0.8", false},
        {L"192.168.1.0/24,10.0.0.7", "192.168.1.200", true},
        {L"192.168.1.0/24,10.0.0.7", "192.168.2.1", false},
        {L"192.168.1.0/24, 10.0.0.7 ", "10.0.0.7", true},
        {L"192.168.1.77/24", "192.168.1.3", true},  // host bits of the range are ignored
        {L"127.0.0.0/8", "127.0.0.1", true},
        {L"0.0.0.0/0", "198.51.100.1", true},
        {L"10.0.0.0/31", "10.0.0.1", true},
        {L"10.0.0.0/31", "10.0.0.2", false},
        // Entries that are not addresses admit nobody, and do not open the server to all.
        {L"10.0.0", "10.0.0.0", false},
        {L"10.0.0.256", "10.0.0.1", false},
        {L"10.0.0.1/33", "10.0.0.1", false},
        {L"10.0.0.1/", "10.0.0.1", false},
        {L"сервер", "127.0.0.1", false},
        {L"10.0.0.1 10.0.0.2", "10.0.0.1", false},
        {L"junk,127.0.0.1", "127.0.0.1", true},
    };
    for (const auto& c : cases) {
        const TAllowedClients allowed = TAllowedClients::Parse(c.setting);
        EXPECT_EQ(c.allowed, allowed.Allows(Address(c.client))) << c.client;
    }
    EXPECT_TRUE(TAllowedClients::Parse(L"").AllowsEveryone());
    EXPECT_FALSE(TAllowedClients::Parse(L"junk").AllowsEveryone());
    EXPECT_EQ((std::vector<TUnreadableEntry>{{TAllowListProblem::BadPrefixLength, L"10.0.0.1/33"}}),
              TAllowedClients::Parse(L"10.0.0.1/33, 10.0.0.2").Unreadable());
}

TEST(AllowedClients, TellsTheFirstUnreadableEntryAndWhy) {
    using P = TAllowListProblem;
    const struct {
        const wchar_t* setting;
        std::optional<TUnreadableEntry> first;
    } cases[] = {
        {L"", std::nullopt},
        {L" , ,", std::nullopt},
        {L"10.0.0.7", std::nullopt},
        {L" 192.168.1.0/24 ,10.0.0.7,\t0.0.0.0/0 ", std::nullopt},
        {L"192.168.1.*", TUnreadableEntry{P::Wildcard, L"192.168.1.*"}},
        {L"10.0.0.7, 192.168.*.*", TUnreadableEntry{P::Wildcard, L"192.168.*.*"}},
        {L"10.0.0.7;10.0.0.8", TUnreadableEntry{P::WrongSeparator, L"10.0.0.7;10.0.0.8"}},
        {L"10.0.0.7 10.0.0.8", TUnreadableEntry{P::WrongSeparator, L"10.0.0.7 10.0.0.8"}},
        {L"10.0.0.7; 192.168.1.*", TUnreadableEntry{P::WrongSeparator, L"10.0.0.7; 192.168.1.*"}},
        {L"10.0.0.1/33", TUnreadableEntry{P::BadPrefixLength, L"10.0.0.1/33"}},
        {L"10.0.0.1/", TUnreadableEntry{P::BadPrefixLength, L"10.0.0.1/"}},
        {L"10.0.0.0/255.0.0.0", TUnreadableEntry{P::BadPrefixLength, L"10.0.0.0/255.0.0.0"}},
        {L"10.0.0", TUnreadableEntry{P::NotAnAddress, L"10.0.0"}},
        {L"10.0.0.256", TUnreadableEntry{P::NotAnAddress, L"10.0.0.256"}},
        {L"10.0.0.1-10.0.0.9", TUnreadableEntry{P::NotAnAddress, L"10.0.0.1-10.0.0.9"}},
        {L"сервер", TUnreadableEntry{P::NotAnAddress, L"сервер"}},
        {L"10.0.0.256/8", TUnreadableEntry{P::NotAnAddress, L"10.0.0.256/8"}},
        {L"10.0.0.7, junk, 192.168.1.*", TUnreadableEntry{P::NotAnAddress, L"junk"}},
    };
    for (const auto& c : cases) {
        const TAllowedClients allowed = TAllowedClients::Parse(c.setting);
        const auto first = allowed.FirstUnreadable();
        EXPECT_EQ(c.first.has_value(), first.has_value()) << testing::PrintToString(c.setting);
        if (c.first && first) {
            EXPECT_EQ(c.first->Problem, first->Problem) << testing::PrintToString(c.setting);
            EXPECT_EQ(c.first->Entry, first->Entry) << testing::PrintToString(c.setting);
        }
    }
    // Every unreadable entry is kept in its order, and the readable ones still admit.
    const TAllowedClients mixed = TAllowedClients::Parse(L"10.0.0.*, 127.0.0.1, a;b");
    EXPECT_EQ((std::vector<TUnreadableEntry>{{P::Wildcard, L"10.0.0.*"}, {P::WrongSeparator, L"a;b"}}),
              mixed.Unreadable());
    EXPECT_TRUE(mixed.Allows(Address("127.0.0.1")));
    EXPECT_FALSE(mixed.Allows(Address("10.0.0.1")));
}

}  // namespace
