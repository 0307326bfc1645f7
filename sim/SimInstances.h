#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Every process that has the simulated server loaded announces its control pipe
// under HKCU\Software\KordavinSim\<session>, so that the control program finds
// all of them. The session comes from KORDAVIN_SIM_SESSION (default "default"):
// tests running side by side use their own session and never reach each other.
std::wstring SimSessionName();
std::wstring SimPipeName(const std::wstring& session, DWORD processId);

void AnnounceSimInstance(const std::wstring& session, DWORD processId, const std::wstring& pipeName);
void WithdrawSimInstance(const std::wstring& session, DWORD processId);

struct SimInstance {
    DWORD processId = 0;
    std::wstring pipeName;
};
std::vector<SimInstance> ListSimInstances(const std::wstring& session);

struct SimReply {
    bool delivered = false;  // false: nobody answered on the pipe
    std::wstring text;       // the reply line, or why nothing was delivered
};

// Sends one command line to one instance and waits for its reply.
SimReply SendSimCommand(const std::wstring& pipeName, const std::wstring& line, DWORD timeoutMs = 5000);
