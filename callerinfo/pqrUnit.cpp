// The subscriber directory (TPQRDataModule): callers' names and comments by number, on SQLite.
#include "pqrUnit.h"

#include "DirectoryTextLimit.h"
#include "ModuleFile.h"
#include "PathText.h"

#include <windows.h>

namespace {

[[noreturn]] void ThrowBusy() {
    throw TableStoreError(TableStoreError::Kind::Locked,
                          L"Справочник абонентов занят другой операцией: поиск прерван.");
}

}  // namespace

TPQRDataModule::TPQRDataModule(std::wstring abonentPhoneDir, std::wstring oldTableDir)
    : FAbonentPhoneDir(std::move(abonentPhoneDir)), FOldTableDir(std::move(oldTableDir)) {}

std::wstring TPQRDataModule::DefaultOldTableDir() {
    const std::wstring path = ModuleFileName();
    // Without a folder (npos + 1 == 0) this is "PQR\" relative to the current folder.
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"PQR\\";
}

std::vector<FieldDef> TPQRDataModule::TableFields() {
    return {{kPhoneField, FieldKind::String, kPhoneWidth, true},
            {kNameField, FieldKind::String, kNameWidth, true},
            {kCommentField, FieldKind::Memo, 0, false}};
}

std::vector<IndexDef> TPQRDataModule::TableIndexes() { return {{L"", {kPhoneField}, true, true}}; }

std::wstring TPQRDataModule::AbonentPhoneDir() const {
    std::shared_lock lock(FStateLock);
    return FAbonentPhoneDir;
}

void TPQRDataModule::SetAbonentPhoneDir(const std::wstring& value) {
    std::lock_guard lock(FStateLock);
    if (value == FAbonentPhoneDir) return;
    FAbonentPhoneDir = value;
    if (FActive) {
        CloseLocked();
        OpenLocked();
    }
}

bool TPQRDataModule::Active() const { return FActive; }

void TPQRDataModule::Open(LockDeadline deadline) {
    if (!deadline) {
        std::lock_guard lock(FStateLock);
        OpenLocked();
        return;
    }
    if (FActive) return;
    // An operation of this process still running on the closed table: the
    // next call opens it.
    std::unique_lock lock(FStateLock, *deadline);
    if (!lock.owns_lock()) return;
    ScopedLockDeadline bounded(deadline);
    OpenLocked();
}

void TPQRDataModule::Close() {
    std::lock_guard lock(FStateLock);
    CloseLocked();
}

void TPQRDataModule::Refresh() {
    std::lock_guard lock(FStateLock);
    CloseLocked();
    OpenLocked();
}

void TPQRDataModule::OpenLocked() {
    if (FActive) return;
    try {
        if (!FDatabase.Connected()) FDatabase.Connect(FAbonentPhoneDir);
        PrepareTable();
        // Both cursors may write: the reader rolls back a journal that a crashed
        // writer left behind, which a read-only connection cannot.
        FReader.Open(Table::Mode::ReadWrite);
        FWriter.Open(Table::Mode::ReadWrite);
        FPhoneField = FReader.FieldIndex(kPhoneField);
        FNameField = FReader.FieldIndex(kNameField);
        FCommentField = FReader.FieldIndex(kCommentField);
        if (FReader.KeyField() != FPhoneField)
            throw TableStoreError(TableStoreError::Kind::General,
                                  L"Таблица «AbonentPhones» не проиндексирована по полю «AbonentPhone».");
        FActive = true;
    } catch (...) {
        CloseLocked();
        throw;
    }
}

void TPQRDataModule::CloseLocked() noexcept {
    FActive = false;
    FDatabase.Close();
    FPhoneField = FNameField = FCommentField = -1;
}

void TPQRDataModule::PrepareTable() {
    if (!FDatabase.TableExists(kTableName)) MigrateOldTable();
    if (FDatabase.TableExists(kTableName)) {
        const FieldDef phone = FieldByName(FDatabase.ReadFieldDefs(kTableName), kPhoneField, kTableName);
        if (phone.kind == FieldKind::String && phone.width < kPhoneWidth)
            FDatabase.WidenStringField(kTableName, {kPhoneField, FieldKind::String, kPhoneWidth, true});
    } else {
        EnsureTable(FDatabase);
    }
}

void TPQRDataModule::EnsureTable(TableDatabase& database) {
    if (database.TableExists(kTableName)) return;
    try {
        database.CreateTable(kTableName, TableFields(), TableIndexes());
    } catch (const TableStoreError& error) {
        if (error.kind() != TableStoreError::Kind::TableExists) throw;
    }
}

// Copies the old installation's table into the folder. The copy goes to a
// temporary name first, so a failed copy never leaves part of a table behind;
// the old file is only read.
void TPQRDataModule::MigrateOldTable() {
    const std::wstring source = JoinPath(FOldTableDir, std::wstring(kTableName) + L".db");
    const DWORD attributes = ::GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    const std::wstring target = FDatabase.TablePath(kTableName);
    const std::wstring copy = target + L".migrating";
    if (::CopyFileW(source.c_str(), copy.c_str(), FALSE)) {
        const DWORD copied = ::GetFileAttributesW(copy.c_str());
        if (copied != INVALID_FILE_ATTRIBUTES && (copied & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(copy.c_str(), copied & ~FILE_ATTRIBUTE_READONLY);
        // Without replacing: a table that appeared meanwhile is kept.
        if (::MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return;
    }
    ::DeleteFileW(copy.c_str());
}

void TPQRDataModule::ReadRow(const std::wstring& Phone, std::wstring* name, std::wstring* comment,
                             LockDeadline deadline) {
    std::shared_lock state(FStateLock, std::defer_lock);
    std::unique_lock reading(FReadLock, std::defer_lock);
    if (deadline) {
        if (!state.try_lock_until(*deadline) || !reading.try_lock_until(*deadline)) ThrowBusy();
    } else {
        state.lock();
        reading.lock();
    }
    FReader.SetLockDeadline(deadline);
    const bool found = FReader.FindKey(Phone);
    if (name) *name = found ? FReader.FieldText(FNameField) : std::wstring();
    if (comment) *comment = found ? FReader.FieldText(FCommentField) : std::wstring();
}

std::wstring TPQRDataModule::AbonentByPhone(const std::wstring& Phone) {
    std::wstring name;
    ReadRow(Phone, &name, nullptr, std::nullopt);
    return name;
}

std::wstring TPQRDataModule::CommentByPhone(const std::wstring& Phone) {
    std::wstring comment;
    ReadRow(Phone, nullptr, &comment, std::nullopt);
    return comment;
}

void TPQRDataModule::AbonentAndCommentByPhone(const std::wstring& Phone, std::wstring& name, std::wstring& comment,
                                              LockDeadline deadline) {
    ReadRow(Phone, &name, &comment, deadline);
}

void TPQRDataModule::AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                const std::wstring& AbonentComment) {
    RequireDirectoryTextsFit(PhoneNumber, AbonentName, AbonentComment);
    std::shared_lock state(FStateLock);
    if (!FActive) throw TableStoreError(TableStoreError::Kind::NotOpen, L"Справочник абонентов закрыт.");
    std::lock_guard writing(FWriteLock);
    // The row is looked up under the write lock, so another workstation cannot
    // add or delete it between the lookup and the posting.
    FWriter.EditOrAppendKey(PhoneNumber);
    try {
        FWriter.SetFieldText(FPhoneField, PhoneNumber);
        FWriter.SetFieldText(FNameField, AbonentName);
        FWriter.SetFieldText(FCommentField, AbonentComment);
        FWriter.Post();
    } catch (...) {
        FWriter.Cancel();
        throw;
    }
}
