// The subscriber directory (TPQRDataModule): callers' names and comments by number, on SQLite.
#pragma once
#include "TableStore.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

// The subscriber directory: the table "AbonentPhones" (number, name, comment)
// that this program creates, migrates from an older installation and writes.
// Lookups and saves come from the main thread, save threads and the directory
// server's connection threads. Lookups share one reading cursor and saves one
// writing cursor of their own, so a save that waits for another workstation's
// lock never holds up a lookup; opening and closing wait for running operations.
class TPQRDataModule {
public:
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

    // Prepares the table (migration, widening, creation), then opens it. With a
    // deadline (a timer of the user-interface thread), an open table is left
    // alone without waiting; another process's lock is waited for until the
    // deadline, then the open fails as locked; an operation of this process
    // still running past it leaves the open to the next call.
    void Open(LockDeadline deadline = std::nullopt);
    void Close();
    void Refresh();

    // Raise the store's error while the table is closed.
    std::wstring AbonentByPhone(const std::wstring& Phone);
    std::wstring CommentByPhone(const std::wstring& Phone);
    // Both texts of one row in one step, so that a save in between cannot mix
    // an old name with a new comment. With a deadline, no lock (of this process
    // or another) is waited for beyond it: the lookup then fails as locked.
    void AbonentAndCommentByPhone(const std::wstring& Phone, std::wstring& name, std::wstring& comment,
                                  LockDeadline deadline = std::nullopt);

    // Adds the row or replaces its name and comment, in one transaction. Every
    // failure (a lock not obtained, a closed table, a required text missing)
    // leaves as an AppError with the reason, and nothing is stored; a text no
    // directory client could read leaves as TDirectoryTextTooLong.
    void AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                    const std::wstring& AbonentComment);

    static constexpr const wchar_t* kTableName = L"AbonentPhones";
    static constexpr const wchar_t* kPhoneField = L"AbonentPhone";
    static constexpr const wchar_t* kNameField = L"AbonentName";
    static constexpr const wchar_t* kCommentField = L"AbonentComment";
    static constexpr int kPhoneWidth = 16;
    static constexpr int kNameWidth = 64;

    // The table's definitions, from which it is created.
    static std::vector<FieldDef> TableFields();
    static std::vector<IndexDef> TableIndexes();
    // Creates the table from these definitions when the folder has none; another
    // workstation creating it at the same moment is as good.
    static void EnsureTable(TableDatabase& database);

private:
    void OpenLocked();
    void CloseLocked() noexcept;
    void PrepareTable();
    void MigrateOldTable();
    void ReadRow(const std::wstring& Phone, std::wstring* name, std::wstring* comment, LockDeadline deadline);

    // Held exclusively by opening, closing and the folder change, shared by every
    // lookup and save; guards the folders, the database, the field numbers and
    // whether the tables are open.
    mutable std::shared_timed_mutex FStateLock;
    std::wstring FAbonentPhoneDir;
    std::wstring FOldTableDir;
    TableDatabase FDatabase;
    int FPhoneField = -1;
    int FNameField = -1;
    int FCommentField = -1;
    // Read without a lock by Active; written under FStateLock held exclusively.
    std::atomic<bool> FActive{false};
    // FReadLock guards the reading cursor's current row and deadline.
    std::timed_mutex FReadLock;
    Table FReader{FDatabase, kTableName};
    // FWriteLock guards the writing cursor: one save at a time.
    std::mutex FWriteLock;
    Table FWriter{FDatabase, kTableName};
};
