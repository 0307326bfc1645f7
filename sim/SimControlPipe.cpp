#include "SimControlPipe.h"

#include "SimInstances.h"
#include "SimState.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr DWORD kMaxRequest = 64 * 1024;

std::wstring Answer(const std::string& request) {
    std::wstring error;
    const auto words = SplitSimWords(Utf8ToWide(request), error);
    if (!words) return L"ERROR " + error;
    const auto parsed = ParseSimCommand(*words);
    if (!parsed.command) return L"ERROR " + parsed.error;
    return SimState::Instance().Execute(*parsed.command);
}

void ServeOneClient(HANDLE pipe) {
    std::string request;
    char buffer[4096];
    while (true) {
        DWORD read = 0;
        const BOOL ok = ::ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr);
        request.append(buffer, read);
        if (ok) break;
        if (::GetLastError() != ERROR_MORE_DATA || request.size() > kMaxRequest) return;
    }
    const std::string reply = WideToUtf8(Answer(request));
    DWORD written = 0;
    ::WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    ::FlushFileBuffers(pipe);
}

UniqueFileHandle CreateControlPipe(const std::wstring& pipeName) {
    return UniqueFileHandle(::CreateNamedPipeW(
        pipeName.c_str(), PIPE_ACCESS_DUPLEX,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kMaxRequest,
        kMaxRequest, 0, nullptr));
}

// One pipe instance, reused for client after client.
void PipeLoop(UniqueFileHandle pipe) {
    while (true) {
        const BOOL connected = ::ConnectNamedPipe(pipe.get(), nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
        if (connected) ServeOneClient(pipe.get());
        else ::Sleep(100);
        ::DisconnectNamedPipe(pipe.get());
    }
}

}  // namespace

void StartSimControlPipe() {
    static std::once_flag started;
    std::call_once(started, [] {
        const std::wstring session = SimSessionName();
        const DWORD pid = ::GetCurrentProcessId();
        const std::wstring pipeName = SimPipeName(session, pid);
        // The pipe exists before it is announced, so a control program never
        // mistakes a starting instance for a stale entry.
        UniqueFileHandle pipe = CreateControlPipe(pipeName);
        if (!pipe) return;
        // The thread lives as long as the process; nothing in it may throw out.
        std::thread([handle = pipe.release()] {
            try {
                PipeLoop(UniqueFileHandle(handle));
            } catch (...) {
            }
        }).detach();
        AnnounceSimInstance(session, pid, pipeName);
    });
}
