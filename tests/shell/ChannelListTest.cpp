#include "ChannelList.h"

#include <gtest/gtest.h>

TEST(ChannelList, SplitsAtBarsKeepingInnerEmptyNames) {
    using Names = std::vector<std::wstring>;
    const std::pair<std::wstring, Names> cases[] = {
        {L"", {}},
        {L"a|b", {L"a", L"b"}},
        {L"a|b|", {L"a", L"b"}},
        {L"a||b", {L"a", L"", L"b"}},
        {L"|", {L""}},
        {L"Линия 1|K2", {L"Линия 1", L"K2"}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(expected, SplitChannelList(text)) << text.size();
}

TEST(ChannelList, MonitoredNamesAreCheckedOrAppended) {
    const auto items = MergeChannelList({L"K1", L"K2"}, {L"k2", L"K9"});
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(L"K1", items[0].name);
    EXPECT_FALSE(items[0].checked);
    EXPECT_EQ(L"K2", items[1].name) << "the server's spelling stays";
    EXPECT_TRUE(items[1].checked);
    EXPECT_EQ(L"K9", items[2].name);
    EXPECT_TRUE(items[2].checked);
}

TEST(ChannelList, CyrillicNamesMatchIgnoringCaseAndManyChannelsAreKept) {
    std::vector<std::wstring> server;
    for (int i = 0; i < 500; ++i) server.push_back(L"Линия " + std::to_wstring(i));
    const auto items = MergeChannelList(server, {L"ЛИНИЯ 499", L"линия 0"});
    ASSERT_EQ(500u, items.size());
    EXPECT_TRUE(items[0].checked);
    EXPECT_TRUE(items[499].checked);
    EXPECT_FALSE(items[250].checked);
}
