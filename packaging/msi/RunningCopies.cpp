#include "RunningCopies.h"

#include "ExitRequest.h"
#include "LongPath.h"
#include "UniqueHandle.h"

#include <algorithm>

namespace {

constexpr DWORD kPollMs = 250;
constexpr UINT kSendTimeoutMs = 5000;

// GetWindowTextW reads another process's window title without a message, so a
// hung copy cannot hang the installer here.
std::wstring TitleOf(HWND window) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
        if (static_cast<size_t>(length) + 1 < text.size()) {
            text.resize(static_cast<size_t>(length));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// The program file is in use while any copy runs from it: it cannot be opened for writing.
bool FileIsFree(const std::wstring& programFile) {
    UniqueFileHandle file(::CreateFileW(programFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file || ::GetLastError() != ERROR_SHARING_VIOLATION;
}

}  // namespace

std::vector<HWND> ExitRequestWindowsOf(const std::wstring& programFile) {
    std::vector<HWND> windows;
    for (HWND window = ::FindWindowExW(nullptr, nullptr, kExitRequestClass, nullptr); window;
         window = ::FindWindowExW(nullptr, window, kExitRequestClass, nullptr)) {
        const std::wstring title = TitleOf(window);
        if (!title.empty() && SamePath(title, programFile)) windows.push_back(window);
    }
    return windows;
}

std::vector<DWORD> SessionsOf(const std::vector<HWND>& windows) {
    std::vector<DWORD> sessions;
    for (HWND window : windows) {
        DWORD process = 0;
        DWORD session = 0;
        if (!::GetWindowThreadProcessId(window, &process) || !::ProcessIdToSessionId(process, &session)) continue;
        if (std::find(sessions.begin(), sessions.end(), session) == sessions.end()) sessions.push_back(session);
    }
    return sessions;
}

TStopResult StopRunningCopies(const std::wstring& programFile, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    std::vector<HWND> asked;
    for (;;) {
        const std::vector<HWND> windows = ExitRequestWindowsOf(programFile);
        for (HWND window : windows) {
            // One request per window: the copy may be busy finishing its saves.
            if (std::find(asked.begin(), asked.end(), window) != asked.end()) continue;
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
            asked.push_back(window);
        }
        // A file held without any copy's window is not ours to wait for.
        if (windows.empty() && asked.empty()) return TStopResult::NoneRunning;
        // The window goes a moment before the process lets go of its file.
        if (windows.empty() && FileIsFree(programFile)) return TStopResult::Stopped;
        if (::GetTickCount64() >= deadline) return TStopResult::StillRunning;
        ::Sleep(kPollMs);
    }
}
