#include "SettingsPolicy.h"

#include "AppError.h"
#include "IniValues.h"
#include "RegistryValues.h"
#include "UniqueHandle.h"

#include <climits>
#include <optional>

namespace {

UniqueRegKey OpenPolicyKey(const TRegistryPlace& place) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(place.Root, place.Path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(key);
}

// The row's value from one policy key; nothing when the key does not hold it.
std::optional<TSettingValue> ReadPolicyValue(HKEY key, const TSettingRow& row) {
    if (row.Store == TSettingStore::Text) {
        // Group Policy stores paths as REG_EXPAND_SZ, "%ProgramData%\\..." and the like.
        auto text = ReadRegistryExpandedString(key, row.PolicyValue);
        if (!text) return std::nullopt;
        return CapIniText(*text);
    }
    const auto number = ReadRegistryDword(key, row.PolicyValue);
    if (!number) return std::nullopt;
    if (row.Store == TSettingStore::Integer) {
        // A negative number in an INI file would be written so, not as a huge DWORD.
        if (*number > static_cast<DWORD>(INT_MAX))
            throw AppError(L"The value '" + std::wstring(row.PolicyValue) + L"' is out of range: " +
                           std::to_wstring(*number) + L".");
        return static_cast<int>(*number);
    }
    return *number != 0;
}

std::wstring PlaceName(const TRegistryPlace& place) {
    const wchar_t* root = place.Root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE\\"
                          : place.Root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\"
                                                            : L"";
    return root + place.Path;
}

}  // namespace

std::vector<std::wstring> ApplyPolicies(const std::vector<TRegistryPlace>& places, const TSettingsRef& fields,
                                        TEnforcedSettings& enforced) {
    std::vector<std::wstring> errors;
    for (const TRegistryPlace& place : places) {
        const UniqueRegKey key = OpenPolicyKey(place);
        if (!key) continue;
        for (const auto& row : SettingsTable()) {
            if (!row.PolicyValue || enforced.Has(row)) continue;
            try {
                if (auto value = ReadPolicyValue(key.get(), row)) {
                    row.Set(fields, *value);
                    enforced.Keys.insert(row.Key);
                }
            } catch (const AppError& error) {
                errors.push_back(PlaceName(place) + L": " + error.message());
            }
        }
    }
    return errors;
}
