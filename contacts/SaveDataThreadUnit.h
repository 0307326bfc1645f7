#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Stores one subscriber record (number, name, comment): the caller-information
// layer's AddEditRow, or a fake in tests. Called on a save thread.
using TAddEditRowProc =
    std::function<void(const std::wstring& phone, const std::wstring& name, const std::wstring& comment)>;

// A save that failed: its number and the error caught on the save thread.
struct TSaveFailure {
    std::wstring Phone;
    std::exception_ptr Error;
};

// Hears of a failed save, on the save thread. It hands the failure on to the
// user-interface thread and never opens a window itself.
using TSaveFailedProc = std::function<void(TSaveFailure failure)>;

// One background save: trims the three texts, calls AddEditRow on a thread of
// its own and ends by itself. Whatever AddEditRow throws is caught there and
// handed to onFailed with the number. Nobody waits for it, except the program's
// exit (WaitForRunningSaves).
class TSaveDataThread {
public:
    // Hands the texts over and starts the thread. Throws AppError when no thread
    // can be started; the save is then not made.
    static void Start(TAddEditRowProc addEditRow, std::wstring_view phone, std::wstring_view name,
                      std::wstring_view comment, TSaveFailedProc onFailed = {});

    TSaveDataThread(const TSaveDataThread&) = delete;
    TSaveDataThread& operator=(const TSaveDataThread&) = delete;

    const std::wstring Phone;
    const std::wstring Name;
    const std::wstring Comment;

private:
    TSaveDataThread(TAddEditRowProc addEditRow, std::wstring_view phone, std::wstring_view name,
                    std::wstring_view comment, TSaveFailedProc onFailed);
    ~TSaveDataThread() = default;

    static DWORD WINAPI ThreadEntry(void* parameter);
    void Execute() noexcept;

    TAddEditRowProc FAddEditRow;
    TSaveFailedProc FOnFailed;
};

// How many save threads have been started and not yet ended.
int RunningSaveCount();

// The numbers of the saves started and not yet ended.
std::vector<std::wstring> RunningSavePhones();

// Lets saves still running finish before the directories close: waits until no
// save thread is left or timeoutMs has passed. True when none is left.
bool WaitForRunningSaves(DWORD timeoutMs);
