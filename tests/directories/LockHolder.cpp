// DirectoryLockHolder DB-FILE reserved|exclusive READY-EVENT RELEASE-EVENT MAX-MS
// Takes a write lock on a table file as another workstation would, signals
// READY-EVENT, and keeps the lock until RELEASE-EVENT is set or MAX-MS pass.
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) return 2;
    const std::string path = WideToUtf8(argv[1]);
    const bool exclusive = std::wstring(argv[2]) == L"exclusive";
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE release = ::OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
    if (!ready || !release) return 3;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 4;
    if (sqlite3_exec(db, exclusive ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return 5;
    ::SetEvent(ready);
    ::WaitForSingleObject(release, static_cast<DWORD>(std::stoul(argv[5])));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ::CloseHandle(ready);
    ::CloseHandle(release);
    return 0;
}
