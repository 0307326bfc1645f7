#pragma once
#include "CrmLink.h"
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
    // The CRM card of a call: URL template (empty: none) and when it opens.
    std::wstring FCrmUrlTemplate;
    TCrmOpenMode FCrmOpenMode = comNever;
};
