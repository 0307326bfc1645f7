// recsim: drives the simulated recording server loaded in other programs.
#include "ExceptionText.h"
#include "SimCommand.h"
#include "SimInstances.h"
#include "SimScenario.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

enum ExitCode : int {
    kOk = 0,
    kBadInput = 1,     // usage, a bad command or a bad scenario file
    kNoInstance = 2,   // no program with the simulator loaded
    kFailed = 3,       // a simulator answered with an error or did not answer
};

void Write(HANDLE stream, const std::wstring& text) {
    const std::string bytes = WideToUtf8(text);
    DWORD written = 0;
    ::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
void Out(const std::wstring& text) { Write(::GetStdHandle(STD_OUTPUT_HANDLE), text + L"\n"); }
void Err(const std::wstring& text) { Write(::GetStdHandle(STD_ERROR_HANDLE), L"recsim: " + text + L"\n"); }

int Usage(const std::wstring& why) {
    if (!why.empty()) Err(why);
    Write(::GetStdHandle(STD_ERROR_HANDLE),
          L"usage: recsim [--session NAME] [--pid PID] COMMAND [ARGS...]\n"
          L"       recsim [--session NAME] [--pid PID] play SCENARIO-FILE\n"
          L"       recsim [--session NAME] list\n"
          L"Commands go to every program that has the simulated server loaded, or to one with --pid.\n"
          L"Commands:\n" +
              std::wstring(SimCommandHelp()) +
              L"A scenario file has one command a line, \"sleep MS\" for a pause, # for comments.\n");
    return kBadInput;
}

bool ProcessAlive(DWORD pid) {
    UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

struct Target {
    std::wstring session;
    std::optional<DWORD> pid;
};

// The live instances of the session; entries of ended processes are removed.
std::vector<SimInstance> FindInstances(const Target& target) {
    std::vector<SimInstance> live;
    for (auto& instance : ListSimInstances(target.session)) {
        if (!ProcessAlive(instance.processId)) {
            WithdrawSimInstance(target.session, instance.processId);
            continue;
        }
        if (!target.pid || *target.pid == instance.processId) live.push_back(std::move(instance));
    }
    return live;
}

int Send(const Target& target, const std::vector<std::wstring>& words) {
    const auto instances = FindInstances(target);
    if (instances.empty()) {
        Err(target.pid ? L"no simulated server in process " + std::to_wstring(*target.pid)
                       : L"no program has the simulated server loaded (session " + target.session + L")");
        return kNoInstance;
    }
    const std::wstring line = JoinSimWords(words);
    int result = kOk;
    for (const auto& instance : instances) {
        const SimReply reply = SendSimCommand(instance.pipeName, line);
        const std::wstring who = L"[" + std::to_wstring(instance.processId) + L"] ";
        if (!reply.delivered) {
            Err(who + L"no answer: " + reply.text);
            result = kFailed;
        } else if (reply.text.starts_with(L"OK")) {
            Out(who + reply.text);
        } else {
            Err(who + reply.text);
            result = kFailed;
        }
    }
    return result;
}

std::optional<std::wstring> ReadTextFile(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    return Utf8ToWide(bytes);
}

int Play(const Target& target, const std::wstring& path) {
    const auto text = ReadTextFile(path);
    if (!text) {
        Err(L"cannot read " + path + L": " + SystemErrorText(::GetLastError()));
        return kBadInput;
    }
    const SimScenario scenario = ParseSimScenario(*text);
    if (!scenario.errors.empty()) {
        for (const auto& error : scenario.errors) Err(path + L": " + error);
        return kBadInput;
    }
    for (const auto& step : scenario.steps) {
        if (step.words.empty()) {
            ::Sleep(step.pauseMs);
            continue;
        }
        const int result = Send(target, step.words);
        if (result != kOk) return result;
    }
    return kOk;
}

int List(const Target& target) {
    for (const auto& instance : FindInstances(target))
        Out(std::to_wstring(instance.processId) + L" " + instance.pipeName);
    return kOk;
}

int Run(int argc, wchar_t** argv) {
    Target target{SimSessionName(), std::nullopt};
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--session" && i + 1 < argc) {
            target.session = argv[++i];
        } else if (option == L"--pid" && i + 1 < argc) {
            const auto pid = ParseSimInteger(argv[++i]);
            if (!pid || *pid <= 0) return Usage(L"--pid takes a process id");
            target.pid = static_cast<DWORD>(*pid);
        } else if (option == L"--help" || option == L"-h" || option == L"/?") {
            return Usage({});
        } else if (option.starts_with(L"--")) {
            return Usage(L"unknown option " + option);
        } else {
            break;
        }
    }
    if (i >= argc) return Usage(L"no command given");
    std::vector<std::wstring> words(argv + i, argv + argc);
    if (words[0] == L"list") return words.size() == 1 ? List(target) : Usage(L"\"list\" takes no arguments");
    if (words[0] == L"play") return words.size() == 2 ? Play(target, words[1]) : Usage(L"\"play\" takes one file");
    const auto parsed = ParseSimCommand(words);
    if (!parsed.command) return Usage(parsed.error);
    return Send(target, words);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception&) {
        Err(ExceptionText(std::current_exception()));
        return kFailed;
    }
}
