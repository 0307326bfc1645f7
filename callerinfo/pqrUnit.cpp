#include "pqrUnit.h"

#include "ModuleFile.h"
#include "PathText.h"

#include <windows.h>

namespace {

void ShowErrorBox(const std::wstring& message) {
    ::MessageBoxW(nullptr, message.c_str(), L"Информатор Kordavin", MB_OK | MB_ICONERROR);
}

}  // namespace

TPQRDataModule::TPQRDataModule(std::wstring abonentPhoneDir, std::wstring oldTableDir)
    : FAbonentPhoneDir(std::move(abonentPhoneDir)), FOldTableDir(std::move(oldTableDir)), FErrorReporter(ShowErrorBox) {}

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
    std::lock_guard lock(FLock);
    return FAbonentPhoneDir;
}

void TPQRDataModule::SetAbonentPhoneDir(const std::wstring& value) {
    std::lock_guard lock(FLock);
    if (value == FAbonentPhoneDir) return;
    FAbonentPhoneDir = value;
    if (FAbonentTable.Active()) {
        CloseLocked();
        OpenLocked();
    }
}

bool TPQRDataModule::Active() const {
    std::lock_guard lock(FLock);
    return FAbonentTable.Active();
}

void TPQRDataModule::Open() {
    std::lock_guard lock(FLock);
    OpenLocked();
}

void TPQRDataModule::Close() {
    std::lock_guard lock(FLock);
    CloseLocked();
}

void TPQRDataModule::Refresh() {
    std::lock_guard lock(FLock);
    CloseLocked();
    OpenLocked();
}

void TPQRDataModule::SetErrorReporter(ErrorReporter reporter) {
    std::lock_guard lock(FLock);
    FErrorReporter = reporter ? std::move(reporter) : ErrorReporter(ShowErrorBox);
}

void TPQRDataModule::OpenLocked() {
    if (FAbonentTable.Active()) return;
    try {
        if (!FDatabase.Connected()) FDatabase.Connect(FAbonentPhoneDir);
        PrepareTable();
        FAbonentTable.Open(Table::Mode::ReadWrite);
        FPhoneField = FAbonentTable.FieldIndex(kPhoneField);
        FNameField = FAbonentTable.FieldIndex(kNameField);
        FCommentField = FAbonentTable.FieldIndex(kCommentField);
        if (FAbonentTable.KeyField() != FPhoneField)
            throw TableStoreError(TableStoreError::Kind::General,
                                  L"Таблица «AbonentPhones» не проиндексирована по полю «AbonentPhone».");
    } catch (...) {
        CloseLocked();
        throw;
    }
}

void TPQRDataModule::CloseLocked() noexcept {
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
        FDatabase.CreateTable(kTableName, TableFields(), TableIndexes());
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

bool TPQRDataModule::FindLocked(const std::wstring& Phone) { return FAbonentTable.FindKey(Phone); }

std::wstring TPQRDataModule::AbonentByPhone(const std::wstring& Phone) {
    std::lock_guard lock(FLock);
    return FindLocked(Phone) ? FAbonentTable.FieldText(FNameField) : std::wstring();
}

std::wstring TPQRDataModule::CommentByPhone(const std::wstring& Phone) {
    std::lock_guard lock(FLock);
    return FindLocked(Phone) ? FAbonentTable.FieldText(FCommentField) : std::wstring();
}

void TPQRDataModule::AbonentAndCommentByPhone(const std::wstring& Phone, std::wstring& name, std::wstring& comment) {
    std::lock_guard lock(FLock);
    if (FindLocked(Phone)) {
        name = FAbonentTable.FieldText(FNameField);
        comment = FAbonentTable.FieldText(FCommentField);
    } else {
        name.clear();
        comment.clear();
    }
}

void TPQRDataModule::AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                const std::wstring& AbonentComment) {
    std::wstring failure;
    ErrorReporter reporter;
    {
        std::lock_guard lock(FLock);
        if (FindLocked(PhoneNumber))
            FAbonentTable.Edit();
        else
            FAbonentTable.Append();
        try {
            FAbonentTable.SetFieldText(FPhoneField, PhoneNumber);
            FAbonentTable.SetFieldText(FNameField, AbonentName);
            FAbonentTable.SetFieldText(FCommentField, AbonentComment);
            FAbonentTable.Post();
        } catch (const AppError& error) {
            FAbonentTable.Cancel();
            failure = error.message();
        } catch (...) {
            FAbonentTable.Cancel();
            throw;
        }
        reporter = FErrorReporter;
    }
    // Outside the lock: a message box left open must not stop every lookup.
    if (!failure.empty()) reporter(failure);
}
