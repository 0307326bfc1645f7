// The subscriber directory in the organisation's SQL server, as the sync sees it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The settings that name the server's table. The password is the plain one,
// unprotected for this call only; it never goes into the connection string the
// settings keep.
struct TSqlDirectorySettings {
    // An ODBC connection string without the password; empty: no SQL directory.
    std::wstring Connection;
    std::wstring Password;
    std::wstring Table = L"KordavinAbonentPhones";
    unsigned SyncSeconds = 30;
    bool operator==(const TSqlDirectorySettings&) const = default;
};

// One row of the server's table as a sync reads it. A deleted row stays as a
// marker, so that every replica learns of the delete.
struct TSqlRow {
    std::wstring Phone, Name, Comment;
    bool Deleted = false;
    // Ordered by the server: a later change of any row has a larger stamp.
    int64_t Stamp = 0;
};

// One save as a workstation made it: a name and comment for the number, or its
// delete. Who and when travel with it, so that a save sent later from an
// outbox still says when it was made.
struct TSqlChange {
    std::wstring Phone, Name, Comment;
    bool Deleted = false;
    std::wstring ChangedBy;  // DOMAIN\user on COMPUTER
    int64_t ChangedAtUnixMs = 0;
    bool operator==(const TSqlChange&) const = default;
};

// Why an operation on the server failed. Only windows turn these into words.
enum class TSqlErrorKind {
    None,
    // No driver by that name, or a connection string it cannot use.
    Driver,
    // The server cannot be reached (down, wrong address, timed out): try later.
    Unreachable,
    // The server refused the account or its password.
    Login,
    // The table is not there (Detail: its name).
    NoTable,
    // The table lacks columns the sync needs (Detail: their names, comma-separated).
    MissingColumns,
    // The account may read but not write, or not read.
    Permission,
    // The connection broke inside an operation; nothing of it is stored.
    Lost,
    // Anything else the driver said (Detail: its message).
    Other,
};

struct TSqlError {
    TSqlErrorKind Kind = TSqlErrorKind::None;
    std::wstring State;   // the driver's SQLSTATE, when it gave one
    std::wstring Detail;  // see TSqlErrorKind
    explicit operator bool() const { return Kind != TSqlErrorKind::None; }
};

// One connection to the server's table, used by one thread at a time.
// Every call may block on the network for at most the connection's timeouts.
class ISqlDirectoryServer {
public:
    virtual ~ISqlDirectoryServer() = default;
    // Connects when not connected and checks that the table has every column
    // the sync needs; never changes the schema.
    virtual TSqlError Open() = 0;
    virtual void Close() noexcept = 0;
    // Every row (deleted markers too) with a stamp above `since`, in stamp
    // order; `each` returns false to stop early (not an error).
    virtual TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) = 0;
    // Stores the changes in order in one transaction: all of them or none. The
    // last change of a number wins, as it does on one workstation.
    virtual TSqlError WriteChanges(const std::vector<TSqlChange>& changes) = 0;
};
