#pragma once
#include "TableStore.h"

#include <mutex>
#include <string>

// The city-code directory: the read-only table "CityCodes" that maps the leading
// characters of a canonical number to a region or city name.
// Every operation takes the module's lock, so lookups from the main thread and
// the directory server's connection threads never share the cursor at once, and
// opening or closing waits for a running lookup.
class TTQRDataModule {
public:
    // cityCodesDir: the folder of the table (the caller supplies the default).
    explicit TTQRDataModule(std::wstring cityCodesDir);
    TTQRDataModule(const TTQRDataModule&) = delete;
    TTQRDataModule& operator=(const TTQRDataModule&) = delete;

    std::wstring CityCodesDir() const;
    // A different folder (compared exactly) reopens an open table from there.
    void SetCityCodesDir(const std::wstring& value);
    bool Active() const;

    void Open();
    void Close();
    void Refresh();

    // The name stored under the longest code of at most 8 characters with which
    // Phone begins; empty when closed, for numbers under 11 characters, or no match.
    std::wstring CityByPhone(const std::wstring& Phone);

    static constexpr const wchar_t* kTableName = L"CityCodes";
    static constexpr const wchar_t* kCodeField = L"CityCode";
    static constexpr const wchar_t* kNameField = L"CityName";

private:
    void OpenLocked();
    void CloseLocked() noexcept;

    mutable std::mutex FLock;  // guards every field below
    std::wstring FCityCodesDir;
    TableDatabase FDatabase;
    Table FCityTable{FDatabase, kTableName};
    int FCityNameField = -1;
};
