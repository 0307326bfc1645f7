#include "ChannelList.h"

#include "TextCompare.h"

std::vector<std::wstring> SplitChannelList(const std::wstring& text) {
    std::vector<std::wstring> names;
    size_t start = 0;
    while (start < text.size()) {
        const size_t bar = text.find(L'|', start);
        if (bar == std::wstring::npos) {
            names.push_back(text.substr(start));
            break;
        }
        names.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return names;
}

std::vector<ChannelListItem> MergeChannelList(const std::vector<std::wstring>& serverChannels,
                                              const std::vector<std::wstring>& monitored) {
    std::vector<ChannelListItem> items;
    items.reserve(serverChannels.size() + monitored.size());
    for (const auto& name : serverChannels) items.push_back({name, false});
    for (const auto& name : monitored) {
        bool found = false;
        for (auto& item : items) {
            if (SameTextIgnoringCase(item.name, name)) {
                item.checked = true;
                found = true;
                break;
            }
        }
        if (!found) items.push_back({name, true});
    }
    return items;
}
