#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Length of a complete number in the default numbering plan: country code, area
// code and subscriber number together.
inline constexpr int kFullNumberLength = 11;

// The dialling settings a number is normalised with: the program's own fields
// (the recorder settings build on them); the values here are the built-in defaults.
struct TDiallingSettings {
    std::wstring FDefaultCountryCode = L"7";
    std::wstring FDefaultCityCode = L"495";
    std::vector<std::wstring> FCityPrefixes;
    std::vector<std::wstring> FWorldPrefixes{L"810", L"00"};
    std::vector<std::wstring> FCountryPrefixes{L"8", L"0"};
    bool FUseCityPrefixForIncoming = true;
};

// Brings a presented phone number to its canonical international form: country
// code, area code and subscriber number, without "+" or any access prefix.
// Kind: 1, 4, 32 incoming; 2 outgoing; bit 64 ignored.
std::wstring NormalizePhoneNumber(const std::wstring& Phone, int Kind, const std::wstring& CountryCode,
                                  const std::wstring& CityCode, const std::vector<std::wstring>& CityPrefixes,
                                  const std::vector<std::wstring>& WorldPrefixes,
                                  const std::vector<std::wstring>& CountryPrefixes, bool UseCityPrefixForIncoming);
// The same with the program's dialling settings.
std::wstring NormalizePhoneNumber(const std::wstring& Phone, int Kind, const TDiallingSettings& Dialling);
// The Kind of a number presented by an incoming call.
inline constexpr int kIncomingCallKind = 1;

// The machine-wide shell folders: "User Shell Folders" first, "Shell Folders" second.
extern const wchar_t* const kUserShellFoldersKey;
extern const wchar_t* const kShellFoldersKey;

// One shell-folder value read from `root`: the first of the two keys that opens
// and holds a text value named ValueName wins; REG_EXPAND_SZ is expanded with the
// process environment. Empty when neither key has it or the expansion fails.
// Tests pass their own root and keys; the program uses GetShellFolderPath.
std::wstring GetShellFolderPathFrom(HKEY root, const std::wstring& firstKey, const std::wstring& secondKey,
                                    const std::wstring& ValueName);

// The named machine-wide shell folder ("Common AppData"), empty when not found.
std::wstring GetShellFolderPath(const std::wstring& ValueName);

// The folder of the running executable, without a trailing delimiter (a drive
// root keeps its own).
std::wstring ExecutableFolder();

// The data folder below a given "Common AppData" path: that path plus
// "Kordavin Data", or the executable's folder when the path is empty.
std::wstring CommonDataDirFrom(const std::wstring& commonAppData);

// The common data folder under which both directories keep their default folders.
std::wstring GetCommonDataDir();

// Default folder of the city-code table: the common data folder plus "Localize\RUS\TQR".
std::wstring DefaultCityCodesDir();

// Default folder of the subscriber table: the common data folder plus "PQR".
std::wstring DefaultAbonentPhoneDir();

// A file of this Windows user's own (the call journal, the organisation's
// directory cache): in %LOCALAPPDATA%\KordavinInformer, or in the folder that the
// environment variable names when it is set (tests keep their files apart with it).
std::wstring UserDataFile(const wchar_t* overrideVariable, const wchar_t* fileName);

// Longest code of a city-code table entry, in characters.
inline constexpr size_t kMaxCityCodeLength = 8;

// The keys under which a normalised number's region is looked up, longest first:
// its first 8, 7, ... 1 characters. None for numbers shorter than a full number.
std::vector<std::wstring> CityCodeCandidates(const std::wstring& Phone);
