#pragma once
#include "SettingsTable.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

// A registry key by its root and path.
struct TRegistryPlace {
    HKEY Root = nullptr;
    std::wstring Path;
};

inline constexpr wchar_t kPolicyKeyPath[] = L"Software\\Policies\\Kordavin\\Informer";

// The settings an administrator fixed, by their INI key (TSettingRow::Key).
struct TEnforcedSettings {
    std::set<std::wstring> Keys;
    bool Has(const TSettingRow& row) const { return Keys.count(row.Key) != 0; }
    bool Empty() const { return Keys.empty(); }
};

// Puts the policy values into the fields: for every row that can be enforced,
// the first of the places that holds its value wins (the computer's policy is
// passed first). A value of the wrong type, or a number beyond the 32-bit signed
// range, fixes nothing and is returned as an error text; a later place may
// still fix that setting. A REG_EXPAND_SZ text is expanded from the environment;
// texts are cut as the settings file's are.
std::vector<std::wstring> ApplyPolicies(const std::vector<TRegistryPlace>& places, const TSettingsRef& fields,
                                        TEnforcedSettings& enforced);
