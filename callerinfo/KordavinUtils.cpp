#include "KordavinUtils.h"

#include "EnvironmentText.h"
#include "ModuleFile.h"
#include "PathText.h"
#include "RegistryValues.h"
#include "UniqueHandle.h"

#include <shlobj.h>

#include <cstddef>

const wchar_t* const kUserShellFoldersKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t* const kShellFoldersKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

namespace {

constexpr int kIgnoredKindBit = 64;
constexpr int kOutgoingKind = 2;

bool IsIncomingKind(int kind) { return kind == 1 || kind == 4 || kind == 32; }

// Exact, character by character; an empty prefix starts every number.
bool StartsWith(const std::wstring& number, const std::wstring& prefix) {
    return number.size() >= prefix.size() && number.compare(0, prefix.size(), prefix) == 0;
}

// A text value of the key, up to its first NUL. False when the key or the value
// is missing or the value is no text (a number or bytes read as a path would be
// garbage).
bool ReadTextValue(HKEY root, const std::wstring& subkey, const std::wstring& name, std::wstring& text,
                   DWORD& type) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
    const UniqueRegKey key(opened);
    auto value = QueryRegistryText(key.get(), name);
    if (!value) return false;
    text = std::move(value->Text);
    type = value->Type;
    return true;
}

}  // namespace

std::wstring NormalizePhoneNumber(const std::wstring& Phone, int Kind, const TDiallingSettings& Dialling) {
    return NormalizePhoneNumber(Phone, Kind, Dialling.FDefaultCountryCode, Dialling.FDefaultCityCode,
                                Dialling.FCityPrefixes, Dialling.FWorldPrefixes, Dialling.FCountryPrefixes,
                                Dialling.FUseCityPrefixForIncoming);
}

std::wstring NormalizePhoneNumber(const std::wstring& Phone, int Kind, const std::wstring& CountryCode,
                                  const std::wstring& CityCode, const std::vector<std::wstring>& CityPrefixes,
                                  const std::vector<std::wstring>& WorldPrefixes,
                                  const std::vector<std::wstring>& CountryPrefixes, bool UseCityPrefixForIncoming) {
    std::wstring number = Phone;
    // A "+" form is complete as it stands.
    if (!number.empty() && number.front() == L'+') return number.substr(1);

    const int kind = Kind & ~kIgnoredKindBit;
    const bool incoming = IsIncomingKind(kind);

    if (kind == kOutgoingKind || (UseCityPrefixForIncoming && incoming)) {
        for (const std::wstring& prefix : CityPrefixes) {
            if (!prefix.empty() && StartsWith(number, prefix)) {
                number.erase(0, prefix.size());
                break;
            }
        }
    }
    // Nothing left to complete: codes must never turn "no number" into a number.
    if (number.empty()) return number;

    // Signed, because the thresholds drop below zero with unusually long codes.
    const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(number.size());
    const std::ptrdiff_t full = kFullNumberLength;

    // What follows an international prefix is complete already.
    for (const std::wstring& prefix : WorldPrefixes) {
        if (length >= static_cast<std::ptrdiff_t>(prefix.size()) + full && StartsWith(number, prefix))
            return number.substr(prefix.size());
    }

    // An empty entry matches every number and so hides the entries after it.
    std::ptrdiff_t longDistance = 0;
    for (const std::wstring& prefix : CountryPrefixes) {
        if (StartsWith(number, prefix)) {
            longDistance = static_cast<std::ptrdiff_t>(prefix.size());
            break;
        }
    }

    if (longDistance == 0 && length >= full && incoming) return number;
    if (CountryCode.empty() || CityCode.empty()) return number;

    const std::ptrdiff_t countryLength = static_cast<std::ptrdiff_t>(CountryCode.size());
    const std::ptrdiff_t cityLength = static_cast<std::ptrdiff_t>(CityCode.size());

    if (longDistance > 0 && length - longDistance >= full - countryLength)
        return CountryCode + number.substr(static_cast<size_t>(longDistance));
    // For an incoming call a leading long-distance digit too short to be a prefix
    // is taken as the first digit of the area code.
    if (length >= full - countryLength && (longDistance == 0 || incoming)) return CountryCode + number;
    if (longDistance == 0 && length >= full - countryLength - cityLength) return CountryCode + CityCode + number;
    return number;
}

std::wstring GetShellFolderPathFrom(HKEY root, const std::wstring& firstKey, const std::wstring& secondKey,
                                    const std::wstring& ValueName) {
    for (const std::wstring* subkey : {&firstKey, &secondKey}) {
        std::wstring text;
        DWORD type = REG_NONE;
        if (!ReadTextValue(root, *subkey, ValueName, text, type)) continue;
        if (type != REG_EXPAND_SZ) return text;
        return ExpandEnvironmentText(text).value_or(std::wstring());
    }
    return {};
}

std::wstring GetShellFolderPath(const std::wstring& ValueName) {
    return GetShellFolderPathFrom(HKEY_LOCAL_MACHINE, kUserShellFoldersKey, kShellFoldersKey, ValueName);
}

std::wstring ExecutableFolder() {
    std::wstring path = ModuleFileName();
    const size_t delimiter = path.find_last_of(L"\\/");
    if (delimiter == std::wstring::npos) return {};
    path.resize(delimiter);
    // "C:" alone would mean the drive's current folder, not its root.
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
}

std::wstring CommonDataDirFrom(const std::wstring& commonAppData) {
    if (commonAppData.empty()) return ExecutableFolder();
    return IncludeTrailingPathDelimiter(commonAppData) + L"Kordavin Data";
}

std::wstring GetCommonDataDir() { return CommonDataDirFrom(GetShellFolderPath(L"Common AppData")); }

std::wstring DefaultCityCodesDir() { return IncludeTrailingPathDelimiter(GetCommonDataDir()) + L"Localize\\RUS\\TQR"; }

std::wstring DefaultAbonentPhoneDir() { return IncludeTrailingPathDelimiter(GetCommonDataDir()) + L"PQR"; }

std::wstring UserDataFile(const wchar_t* overrideVariable, const wchar_t* fileName) {
    wchar_t overrideDir[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(overrideVariable, overrideDir, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return std::wstring(overrideDir) + L"\\" + fileName;
    PWSTR localAppData = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &localAppData)))
        folder = localAppData;
    ::CoTaskMemFree(localAppData);
    return folder + L"\\KordavinInformer\\" + fileName;
}

std::vector<std::wstring> CityCodeCandidates(const std::wstring& Phone) {
    std::vector<std::wstring> keys;
    if (Phone.size() < static_cast<size_t>(kFullNumberLength)) return keys;
    for (size_t length = kMaxCityCodeLength; length > 0; --length) keys.push_back(Phone.substr(0, length));
    return keys;
}
