// The city-code directory (TTQRDataModule): a number's region by its leading digits, on SQLite.
#pragma once
#include "TableStore.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

// The city-code directory: the read-only table "CityCodes" that maps the leading
// characters of a canonical number to a region or city name.
// The table is small and never written by this program, so opening reads it
// whole and closes the file again: lookups from the main thread and the
// directory server's connection threads then need no file lock at all, and an
// administrator may replace the file while the program runs. A replaced file is
// noticed by the next lookup after at most kChangeCheckMs and read again.
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
    // Never waits for a lock: a replaced file that cannot be read at once is read
    // at a later lookup, and the codes read before serve until then.
    std::wstring CityByPhone(const std::wstring& Phone);

    static constexpr const wchar_t* kTableName = L"CityCodes";
    static constexpr const wchar_t* kCodeField = L"CityCode";
    static constexpr const wchar_t* kNameField = L"CityName";
    static constexpr ULONGLONG kChangeCheckMs = 1000;

private:
    using TCodes = std::map<std::wstring, std::wstring, std::less<>>;
    // What tells one file from its replacement without reading it.
    struct TFileStamp {
        ULONGLONG size = 0, written = 0, created = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    struct TLoaded {
        std::shared_ptr<const TCodes> codes;
        std::wstring path;
        TFileStamp stamp;
    };

    static bool ReadStamp(const std::wstring& path, TFileStamp& stamp);
    static TLoaded Load(const std::wstring& folder, LockDeadline deadline);
    void OpenLocked();
    void CloseLocked() noexcept;
    // The codes of a replaced file, or null when the file is unchanged or cannot be read now.
    std::shared_ptr<const TCodes> ReloadIfReplaced(unsigned generation, const std::wstring& folder,
                                                   const std::wstring& path, const TFileStamp& stamp);

    mutable std::mutex FLock;  // guards every field below; never held while a file is read by a lookup
    std::wstring FCityCodesDir;
    std::shared_ptr<const TCodes> FCodes;  // null while closed
    std::wstring FTablePath;               // the file FCodes came from, and its stamp
    TFileStamp FStamp;
    ULONGLONG FNextCheck = 0;
    // Counts opens and closes, so that a reload finished after one is dropped.
    unsigned FGeneration = 0;
    // One reload at a time; lookups that find it taken go on with the old codes.
    std::mutex FReloadLock;
};
