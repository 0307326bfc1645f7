#include "RecorderSettings.h"

#include "TextCompare.h"

int FindChannel(const std::vector<std::wstring>& channels, const std::wstring& name) {
    for (size_t i = 0; i < channels.size(); ++i)
        if (SameTextIgnoringCase(channels[i], name)) return static_cast<int>(i);
    return -1;
}

int RenameChannel(std::vector<std::wstring>& channels, const std::wstring& oldName, const std::wstring& newName) {
    const int found = FindChannel(channels, oldName);
    if (found >= 0) channels[static_cast<size_t>(found)] = newName;
    return found;
}

bool IsMonitored(const TRecorderSettings& settings, const std::wstring& channel) {
    return settings.FChannels.empty() || FindChannel(settings.FChannels, channel) >= 0;
}
