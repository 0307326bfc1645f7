#include "SaveDataThreadUnit.h"

#include "AppError.h"
#include "TextConvert.h"
#include "TextTrim.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <vector>

namespace {

// The running-save count. Plain Win32 objects with static initialisation and no
// destructor: a save abandoned at exit may still end after static destruction.
// gSavesLock guards gRunningSaves; gSavesEnded is signalled when a save ends.
SRWLOCK gSavesLock = SRWLOCK_INIT;
CONDITION_VARIABLE gSavesEnded = CONDITION_VARIABLE_INIT;
int gRunningSaves = 0;
// The numbers of the running saves, also guarded by gSavesLock; never freed.
std::vector<std::wstring>* gRunningPhones = new std::vector<std::wstring>();
// Handles of save threads that may not have left yet, also guarded by gSavesLock.
// A save counts as ended before its thread has run its last exit code; waiting
// for the handles too keeps the process from ending under a thread's feet.
// Never freed, for the same reason as above.
std::vector<HANDLE>* gSaveThreads = new std::vector<HANDLE>();

// Closes the handles of threads that have ended; the lock is held.
void ForgetEndedThreadsLocked() {
    auto& threads = *gSaveThreads;
    for (size_t i = threads.size(); i-- > 0;) {
        if (::WaitForSingleObject(threads[i], 0) == WAIT_OBJECT_0) {
            ::CloseHandle(threads[i]);
            threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// Waits until every save thread has left, or the deadline passes.
bool WaitForSaveThreads(ULONGLONG deadline) {
    while (true) {
        std::vector<HANDLE> threads;
        ::AcquireSRWLockExclusive(&gSavesLock);
        ForgetEndedThreadsLocked();
        threads = *gSaveThreads;
        ::ReleaseSRWLockExclusive(&gSavesLock);
        if (threads.empty()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return false;
        // One at a time keeps clear of the 64-handle limit; they end together anyway.
        ::WaitForSingleObject(threads.front(), static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100)));
    }
}

void SaveBegins(const std::wstring& phone) {
    ::AcquireSRWLockExclusive(&gSavesLock);
    ++gRunningSaves;
    gRunningPhones->push_back(phone);
    ::ReleaseSRWLockExclusive(&gSavesLock);
}

void SaveEnds(const std::wstring& phone) {
    ::AcquireSRWLockExclusive(&gSavesLock);
    --gRunningSaves;
    auto& phones = *gRunningPhones;
    if (const auto at = std::find(phones.begin(), phones.end(), phone); at != phones.end()) phones.erase(at);
    ::ReleaseSRWLockExclusive(&gSavesLock);
    ::WakeAllConditionVariable(&gSavesEnded);
}

}  // namespace

TSaveDataThread::TSaveDataThread(TAddEditRowProc addEditRow, std::wstring_view phone, std::wstring_view name,
                                 std::wstring_view comment, TSaveFailedProc onFailed)
    : Phone(TrimControlChars(phone)),
      Name(TrimControlChars(name)),
      Comment(TrimControlChars(comment)),
      FAddEditRow(std::move(addEditRow)),
      FOnFailed(std::move(onFailed)) {}

void TSaveDataThread::Start(TAddEditRowProc addEditRow, std::wstring_view phone, std::wstring_view name,
                            std::wstring_view comment, TSaveFailedProc onFailed) {
    auto* thread = new TSaveDataThread(std::move(addEditRow), phone, name, comment, std::move(onFailed));
    const std::wstring trimmedPhone = thread->Phone;
    // Counted before the thread exists, so that an exit right after Save waits for it.
    SaveBegins(trimmedPhone);
    DWORD threadId = 0;
    // From here the thread owns itself; its handle only tells when it has left.
    const HANDLE handle = ::CreateThread(nullptr, 0, ThreadEntry, thread, 0, &threadId);
    if (!handle) {
        const DWORD error = ::GetLastError();
        delete thread;
        SaveEnds(trimmedPhone);
        throw AppError(SystemErrorText(error));
    }
    ::AcquireSRWLockExclusive(&gSavesLock);
    ForgetEndedThreadsLocked();
    gSaveThreads->push_back(handle);
    ::ReleaseSRWLockExclusive(&gSavesLock);
}

DWORD WINAPI TSaveDataThread::ThreadEntry(void* parameter) {
    auto* self = static_cast<TSaveDataThread*>(parameter);
    self->Execute();
    const std::wstring phone = self->Phone;
    // The saver (and whatever it holds) is gone before the save counts as ended.
    delete self;
    SaveEnds(phone);
    return 0;
}

void TSaveDataThread::Execute() noexcept {
    // Nothing leaves the thread: a failure goes, with its number, to whoever shows it.
    try {
        if (FAddEditRow) FAddEditRow(Phone, Name, Comment);
    } catch (...) {
        if (!FOnFailed) return;
        try {
            FOnFailed({Phone, std::current_exception()});
        } catch (...) {
            // Out of memory while handing it on: nothing more can be done here.
        }
    }
}

int RunningSaveCount() {
    ::AcquireSRWLockShared(&gSavesLock);
    const int count = gRunningSaves;
    ::ReleaseSRWLockShared(&gSavesLock);
    return count;
}

std::vector<std::wstring> RunningSavePhones() {
    ::AcquireSRWLockShared(&gSavesLock);
    std::vector<std::wstring> phones = *gRunningPhones;
    ::ReleaseSRWLockShared(&gSavesLock);
    return phones;
}

bool WaitForRunningSaves(DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    ::AcquireSRWLockExclusive(&gSavesLock);
    while (gRunningSaves > 0) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        ::SleepConditionVariableSRW(&gSavesEnded, &gSavesLock, static_cast<DWORD>(deadline - now), 0);
    }
    const bool none = gRunningSaves == 0;
    ::ReleaseSRWLockExclusive(&gSavesLock);
    return none && WaitForSaveThreads(deadline);
}
