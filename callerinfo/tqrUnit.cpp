#include "tqrUnit.h"

namespace {
constexpr size_t kLongestCode = 8;
constexpr size_t kShortestNumber = 11;
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
    if (FCityTable.Active()) {
        CloseLocked();
        OpenLocked();
    }
}

bool TTQRDataModule::Active() const {
    std::lock_guard lock(FLock);
    return FCityTable.Active();
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

void TTQRDataModule::OpenLocked() {
    if (FCityTable.Active()) return;
    try {
        if (!FDatabase.Connected()) FDatabase.Connect(FCityCodesDir);
        FCityTable.Open(Table::Mode::ReadOnly);
        if (FCityTable.KeyField() != FCityTable.FieldIndex(kCodeField))
            throw TableStoreError(TableStoreError::Kind::General,
                                  L"Таблица «CityCodes» не проиндексирована по полю «CityCode».");
        FCityNameField = FCityTable.FieldIndex(kNameField);
    } catch (...) {
        CloseLocked();
        throw;
    }
}

void TTQRDataModule::CloseLocked() noexcept {
    FDatabase.Close();
    FCityNameField = -1;
}

std::wstring TTQRDataModule::CityByPhone(const std::wstring& Phone) {
    std::lock_guard lock(FLock);
    if (!FCityTable.Active() || Phone.size() < kShortestNumber) return {};
    TableReadBatch batch(FCityTable);
    for (size_t n = kLongestCode; n >= 1; --n) {
        if (FCityTable.FindKey(std::wstring_view(Phone).substr(0, n))) return FCityTable.FieldText(FCityNameField);
    }
    return {};
}
