// Which addresses the directory server lets in.
#include <gtest/gtest.h>

#include "AllowedClients.h"

#include <winsock2.h>

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
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.1/33"}, TAllowedClients::Parse(L"10.0.0.1/33, 10.0.0.2").Rejected());
}

}  // namespace
