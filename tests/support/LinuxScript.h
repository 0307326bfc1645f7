#pragma once
#include <string>

// The Unix path of a Windows path under Wine; empty elsewhere.
std::wstring UnixPath(const std::wstring& windowsPath);

// Runs a shell script of the Linux side under Wine, which starts Unix programs
// but does not wait for them: the script leaves its exit code in `folder`\status,
// waited for at most timeoutMs. The code, or -1 when none came in time; `log`
// gets `folder`\control.log.
int RunLinuxScript(const std::wstring& scriptPath, const std::wstring& arguments, const std::wstring& folder,
                   unsigned timeoutMs, std::string& log);
