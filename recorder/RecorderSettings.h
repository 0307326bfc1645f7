#pragma once
#include <string>
#include <vector>

// The settings that the recorder event dispatch reads. The main window inherits
// them, so they are its own fields; the values here are the built-in defaults.
struct TRecorderSettings {
    bool FCallerIDOnly = false;
    bool FCloseTMWOnStart = false;
    // Monitored channels; empty means every channel.
    std::vector<std::wstring> FChannels;
    std::wstring FDefaultCountryCode = L"7";
    std::wstring FDefaultCityCode = L"495";
    std::vector<std::wstring> FCityPrefixes;
    std::vector<std::wstring> FWorldPrefixes{L"810", L"00"};
    std::vector<std::wstring> FCountryPrefixes{L"8", L"0"};
    bool FUseCityPrefixForIncoming = true;
};
