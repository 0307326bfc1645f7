#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Starting the program again after an upgrade ended it: as the Windows user who
// had it running, never with the installer's own rights. Windows Installer runs
// its deferred actions as the machine (SYSTEM), which may start a program with
// the token of the user signed in to a session; an installer that merely runs
// with raised rights has no token of the user's own, and does not start it.

struct TInstallerIdentity {
    bool LocalSystem = false;  // runs as the machine
    bool Elevated = false;     // administrator rights in force
};

// The identity of this thread's token (the process's when it impersonates none).
TInstallerIdentity CurrentInstallerIdentity();

enum class TRestartWay {
    AsSessionUser,  // with the token of the user signed in to the copy's session
    Directly,       // the installer runs as the user, without raised rights
    NotAtAll,       // raised rights and no token of the user's own
};

TRestartWay ChooseRestartWay(const TInstallerIdentity& installer);

// What the restart needs to know, passed from the action that ended the copies
// to the one that starts them: their sessions and the program file.
std::wstring RestartData(const std::vector<DWORD>& sessions, const std::wstring& program);
// False when the text is not such data.
bool ParseRestartData(const std::wstring& data, std::vector<DWORD>& sessions, std::wstring& program);

enum class TRestartStatus {
    Started,
    NotStartedElevated,  // TRestartWay::NotAtAll
    NoUserInSession,     // nobody is signed in to that session any more
    Failed,
};

struct TRestartResult {
    TRestartStatus Status = TRestartStatus::Failed;
    DWORD Session = 0;
    std::wstring Reason;  // why it failed, in Windows' words
};

// The words for an installer's log.
std::wstring RestartResultText(const TRestartResult& result, const std::wstring& program);

// Starts `program` (without arguments, in its own folder) the given way.
TRestartResult StartProgramAs(TRestartWay way, DWORD session, const std::wstring& program);

using TProgramStarter = std::function<TRestartResult(TRestartWay, DWORD session, const std::wstring& program)>;

// Starts the program once in each session of the data, the way the installer's
// identity allows; one result per session. Nothing for data that cannot be read.
std::vector<TRestartResult> RestartStoppedCopies(const std::wstring& data, const TInstallerIdentity& installer,
                                                 const TProgramStarter& start = StartProgramAs);
