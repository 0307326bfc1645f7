#include "SimInstances.h"

#include "TextConvert.h"
#include "UniqueHandle.h"

namespace {

constexpr wchar_t kRootKey[] = L"Software\\KordavinSim\\";

std::wstring SessionKey(const std::wstring& session) { return kRootKey + session; }

}  // namespace

std::wstring SimSessionName() {
    wchar_t buffer[128] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", buffer, 128);
    if (length == 0 || length >= 128) return L"default";
    return buffer;
}

std::wstring SimPipeName(const std::wstring& session, DWORD processId) {
    return L"\\\\.\\pipe\\KordavinSim-" + session + L"-" + std::to_wstring(processId);
}

void AnnounceSimInstance(const std::wstring& session, DWORD processId, const std::wstring& pipeName) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SessionKey(session).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return;
    UniqueRegKey key(raw);
    const std::wstring name = std::to_wstring(processId);
    ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(pipeName.c_str()),
                     static_cast<DWORD>((pipeName.size() + 1) * sizeof(wchar_t)));
}

void WithdrawSimInstance(const std::wstring& session, DWORD processId) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SessionKey(session).c_str(), 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return;
    UniqueRegKey key(raw);
    ::RegDeleteValueW(key.get(), std::to_wstring(processId).c_str());
}

std::vector<SimInstance> ListSimInstances(const std::wstring& session) {
    std::vector<SimInstance> instances;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SessionKey(session).c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return instances;
    UniqueRegKey key(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t name[32];
        DWORD nameLength = 32;
        wchar_t data[512] = {};
        DWORD dataSize = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        SimInstance instance;
        instance.processId = static_cast<DWORD>(wcstoul(name, nullptr, 10));
        instance.pipeName = data;
        if (instance.processId != 0) instances.push_back(std::move(instance));
    }
    return instances;
}

SimReply SendSimCommand(const std::wstring& pipeName, const std::wstring& line, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    UniqueFileHandle pipe;
    while (true) {
        pipe.reset(::CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
        if (pipe) break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_PIPE_BUSY || ::GetTickCount64() >= deadline)
            return {false, SystemErrorText(error)};
        ::WaitNamedPipeW(pipeName.c_str(), 200);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    ::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);

    const std::string request = WideToUtf8(line);
    DWORD written = 0;
    if (!::WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr))
        return {false, SystemErrorText(::GetLastError())};

    std::string reply;
    char buffer[4096];
    while (true) {
        DWORD read = 0;
        const BOOL ok = ::ReadFile(pipe.get(), buffer, sizeof(buffer), &read, nullptr);
        reply.append(buffer, read);
        if (ok) break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_MORE_DATA) return {false, SystemErrorText(error)};
    }
    return {true, Utf8ToWide(reply)};
}
