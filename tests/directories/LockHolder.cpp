// DirectoryLockHolder DB-FILE shared|reserved|exclusive READY-EVENT RELEASE-EVENT MAX-MS
// Takes a lock on a table file as another workstation would (shared: an open
// read; reserved: a pending write; exclusive: a write being committed), signals
// READY-EVENT, and keeps the lock until RELEASE-EVENT is set or MAX-MS pass.
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) return 2;
    const std::string path = WideToUtf8(argv[1]);
    const std::wstring mode = argv[2];
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE release = ::OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
    if (!ready || !release) return 3;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 4;
    const char* begin = mode == L"exclusive" ? "BEGIN EXCLUSIVE" : mode == L"reserved" ? "BEGIN IMMEDIATE" : "BEGIN";
    if (sqlite3_exec(db, begin, nullptr, nullptr, nullptr) != SQLITE_OK) return 5;
    // A read inside the transaction keeps its shared lock until the end.
    if (mode == L"shared" &&
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
        return 6;
    ::SetEvent(ready);
    ::WaitForSingleObject(release, static_cast<DWORD>(std::stoul(argv[5])));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ::CloseHandle(ready);
    ::CloseHandle(release);
    return 0;
}
