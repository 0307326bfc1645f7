#pragma once
#include "TableStore.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The subscriber directory: the table "AbonentPhones" (number, name, comment)
// that this program creates, migrates from an older installation and writes.
// Every operation takes the module's lock, so lookups and saves from the main
// thread, save threads and the directory server's connection threads never share
// the cursor at once, and opening or closing waits for a running operation.
class TPQRDataModule {
public:
    // Shows a failed save to the user; by default a message box with the error icon.
    using ErrorReporter = std::function<void(const std::wstring& message)>;

    // abonentPhoneDir: the folder of the table (the caller supplies the default);
    // oldTableDir: where an older installation kept its table.
    TPQRDataModule(std::wstring abonentPhoneDir, std::wstring oldTableDir = DefaultOldTableDir());
    TPQRDataModule(const TPQRDataModule&) = delete;
    TPQRDataModule& operator=(const TPQRDataModule&) = delete;

    // "PQR" beside the running executable.
    static std::wstring DefaultOldTableDir();

    std::wstring AbonentPhoneDir() const;
    // A different folder (compared exactly) reopens an open table from there.
    void SetAbonentPhoneDir(const std::wstring& value);
    bool Active() const;

    // Prepares the table (migration, widening, creation), then opens it.
    void Open();
    void Close();
    void Refresh();

    // Raise the store's error while the table is closed.
    std::wstring AbonentByPhone(const std::wstring& Phone);
    std::wstring CommentByPhone(const std::wstring& Phone);
    // Both texts of one row in one step, so that a save in between cannot mix
    // an old name with a new comment.
    void AbonentAndCommentByPhone(const std::wstring& Phone, std::wstring& name, std::wstring& comment);

    // Adds the row or replaces its name and comment. A failed posting goes to the
    // error reporter and stores nothing; other errors reach the caller.
    void AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                    const std::wstring& AbonentComment);

    void SetErrorReporter(ErrorReporter reporter);

    static constexpr const wchar_t* kTableName = L"AbonentPhones";
    static constexpr const wchar_t* kPhoneField = L"AbonentPhone";
    static constexpr const wchar_t* kNameField = L"AbonentName";
    static constexpr const wchar_t* kCommentField = L"AbonentComment";
    static constexpr int kPhoneWidth = 16;
    static constexpr int kNameWidth = 64;

    // The table's definitions, from which it is created.
    static std::vector<FieldDef> TableFields();
    static std::vector<IndexDef> TableIndexes();

private:
    void OpenLocked();
    void CloseLocked() noexcept;
    void PrepareTable();
    void MigrateOldTable();
    bool FindLocked(const std::wstring& Phone);

    mutable std::mutex FLock;  // guards every field below
    std::wstring FAbonentPhoneDir;
    std::wstring FOldTableDir;
    ErrorReporter FErrorReporter;
    TableDatabase FDatabase;
    Table FAbonentTable{FDatabase, kTableName};
    int FPhoneField = -1;
    int FNameField = -1;
    int FCommentField = -1;
};
