#pragma once
#include "KordavinUtils.h"

#include <string>
#include <vector>

// The settings that the recorder event dispatch reads. The main window inherits
// them, so they are its own fields; the values here are the built-in defaults.
struct TRecorderSettings : TDiallingSettings {
    bool FCallerIDOnly = false;
    bool FCloseTMWOnStart = false;
    // Monitored channels; empty means every channel.
    std::vector<std::wstring> FChannels;
};
