#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Finding and ending the running copies of one installed program file through
// their exit-request windows, whose titles name their program files. Copies
// started from other folders (a portable copy) are never asked.

// The exit-request windows of the copies running from programFile.
std::vector<HWND> ExitRequestWindowsOf(const std::wstring& programFile);

// The Windows sessions the windows' copies run in, each once.
std::vector<DWORD> SessionsOf(const std::vector<HWND>& windows);

enum class TStopResult {
    NoneRunning,   // no copy of that file showed its window
    Stopped,       // every copy ended and the file can be replaced
    StillRunning,  // a copy asked or its file was still there when the time was up
};

// Asks each running copy of programFile once to end as its "Выход" does and
// waits, up to timeoutMs, until the windows are gone and the file is free.
TStopResult StopRunningCopies(const std::wstring& programFile, DWORD timeoutMs);
