#pragma once
#include "KordavinUtils.h"

#include <string>
#include <vector>

// The settings that the recorder event dispatch reads; the values here are the
// built-in defaults.
struct TRecorderSettings : TDiallingSettings {
    bool FCallerIDOnly = false;
    bool FCloseTMWOnStart = false;
    // Monitored channels; empty means every channel.
    std::vector<std::wstring> FChannels;
};

// Position of the first channel name equal to name ignoring letter case, or -1.
int FindChannel(const std::vector<std::wstring>& channels, const std::wstring& name);
// Renames the first entry equal to oldName ignoring letter case; its position, or -1.
int RenameChannel(std::vector<std::wstring>& channels, const std::wstring& oldName, const std::wstring& newName);
bool IsMonitored(const TRecorderSettings& settings, const std::wstring& channel);
