// The city-code directory (TTQRDataModule): a number's region by its leading digits, on SQLite.
#include "tqrUnit.h"

#include <chrono>

namespace {
constexpr size_t kLongestCode = 8;
constexpr size_t kShortestNumber = 11;

ULONGLONG FileTimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
}  // namespace

TTQRDataModule::TTQRDataModule(std::wstring cityCodesDir) : FCityCodesDir(std::move(cityCodesDir)) {}

std::wstring TTQRDataModule::CityCodesDir() const {
    std::lock_guard lock(FLock);
    return FCityCodesDir;
}

void TTQRDataModule::SetCityCodesDir(const std::wstring& value) {
    std::lock_guard lock(FLock);
    if (value == FCityCodesDir) return;
    FCityCodesDir = value;
    if (FCodes) {
        CloseLocked();
        OpenLocked();
    }
}

bool TTQRDataModule::Active() const {
    std::lock_guard lock(FLock);
    return FCodes != nullptr;
}

void TTQRDataModule::Open() {
    std::lock_guard lock(FLock);
    OpenLocked();
}

void TTQRDataModule::Close() {
    std::lock_guard lock(FLock);
    CloseLocked();
}

void TTQRDataModule::Refresh() {
    std::lock_guard lock(FLock);
    CloseLocked();
    OpenLocked();
}

bool TTQRDataModule::ReadStamp(const std::wstring& path, TFileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    stamp.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = FileTimeValue(data.ftLastWriteTime);
    stamp.created = FileTimeValue(data.ftCreationTime);
    return true;
}

TTQRDataModule::TLoaded TTQRDataModule::Load(const std::wstring& folder, LockDeadline deadline) {
    TableDatabase database;
    database.Connect(folder);
    TLoaded loaded;
    loaded.path = database.TablePath(kTableName);
    // Taken before reading: a file replaced while it is read looks changed at the next check.
    ReadStamp(loaded.path, loaded.stamp);
    Table table(database, kTableName);
    table.SetLockDeadline(deadline);
    table.Open(Table::Mode::ReadOnly);
    const int codeField = table.FieldIndex(kCodeField);
    if (table.KeyField() != codeField)
        throw TableStoreError(TableStoreError::Kind::General,
                              L"Таблица «CityCodes» не проиндексирована по полю «CityCode».");
    const int nameField = table.FieldIndex(kNameField);
    auto codes = std::make_shared<TCodes>();
    for (std::vector<std::wstring>& row : table.ReadAllRows()) {
        std::wstring& code = row[static_cast<size_t>(codeField)];
        // Longer codes are never looked up.
        if (code.size() <= kLongestCode) codes->emplace(std::move(code), std::move(row[static_cast<size_t>(nameField)]));
    }
    loaded.codes = std::move(codes);
    return loaded;
}

void TTQRDataModule::OpenLocked() {
    if (FCodes) return;
    TLoaded loaded = Load(FCityCodesDir, std::nullopt);
    FCodes = std::move(loaded.codes);
    FTablePath = std::move(loaded.path);
    FStamp = loaded.stamp;
    FNextCheck = ::GetTickCount64() + kChangeCheckMs;
    ++FGeneration;
}

void TTQRDataModule::CloseLocked() noexcept {
    FCodes.reset();
    ++FGeneration;
}

std::shared_ptr<const TTQRDataModule::TCodes> TTQRDataModule::ReloadIfReplaced(unsigned generation,
                                                                              const std::wstring& folder,
                                                                              const std::wstring& path,
                                                                              const TFileStamp& stamp) {
    std::unique_lock reloading(FReloadLock, std::try_to_lock);
    if (!reloading) return nullptr;
    TFileStamp now;
    // A file missing for the moment (being replaced) keeps the codes read before.
    if (!ReadStamp(path, now) || now == stamp) return nullptr;
    TLoaded loaded;
    try {
        // Without waiting: a lookup must not stall on the replacing program's lock.
        loaded = Load(folder, std::chrono::steady_clock::now());
    } catch (const std::exception&) {
        // Unreadable right now: the stamp stays, so a later check tries again.
        return nullptr;
    }
    std::lock_guard lock(FLock);
    if (generation != FGeneration) return nullptr;
    FCodes = loaded.codes;
    FStamp = loaded.stamp;
    return loaded.codes;
}

std::wstring TTQRDataModule::CityByPhone(const std::wstring& Phone) {
    if (Phone.size() < kShortestNumber) return {};
    std::shared_ptr<const TCodes> codes;
    bool checkDue = false;
    unsigned generation = 0;
    std::wstring folder, path;
    TFileStamp stamp;
    {
        std::lock_guard lock(FLock);
        if (!FCodes) return {};
        codes = FCodes;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= FNextCheck) {
            FNextCheck = now + kChangeCheckMs;
            checkDue = true;
            generation = FGeneration;
            folder = FCityCodesDir;
            path = FTablePath;
            stamp = FStamp;
        }
    }
    if (checkDue) {
        if (auto reloaded = ReloadIfReplaced(generation, folder, path, stamp)) codes = std::move(reloaded);
    }
    for (size_t n = kLongestCode; n >= 1; --n) {
        const auto found = codes->find(std::wstring_view(Phone).substr(0, n));
        if (found != codes->end()) return found->second;
    }
    return {};
}
