#pragma once
#include <string>
#include <vector>

// The server's channel list text split at "|": "a|b" and "a|b|" give two names,
// "a||b" three with an empty middle one, "" none.
std::vector<std::wstring> SplitChannelList(const std::wstring& text);

struct ChannelListItem {
    std::wstring name;
    bool checked = false;
};

// The check list after a reload: the server's channels unchecked, then each
// monitored name checked where it matches (ignoring case) or appended checked.
std::vector<ChannelListItem> MergeChannelList(const std::vector<std::wstring>& serverChannels,
                                              const std::vector<std::wstring>& monitored);
