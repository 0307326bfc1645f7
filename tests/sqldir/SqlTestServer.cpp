#include "SqlTestServer.h"

#include "LinuxScript.h"
#include "ProcessRunner.h"
#include "TextConvert.h"
#include "TextTrim.h"

#include <windows.h>

#include <fstream>

namespace {

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring FileLine(const std::wstring& path) {
    std::wstring text = Utf8ToWide(ReadBytes(path));
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return text;
}

}  // namespace

TSqlTestServer::~TSqlTestServer() {
    std::string ignored;
    if (made_) Run(L"drop " + QuoteArgument(UnixPath(folder_.path())), ignored);
}

std::wstring TSqlTestServer::ScriptPath() const {
    return ProgramFolder() + L"\\sqldir-data\\" +
           (kind_ == TSqlServerKind::PostgreSql ? L"postgres-control.sh" : L"mariadb-control.sh");
}

bool TSqlTestServer::Run(const std::wstring& arguments, std::string& why, unsigned timeoutMs) {
    std::string log;
    const int code = RunLinuxScript(ScriptPath(), arguments, folder_.path(), timeoutMs, log);
    if (code == 0) return true;
    why = WideToUtf8(ScriptPath()) + " " + WideToUtf8(arguments) + " failed (" + std::to_string(code) + "): " + log;
    return false;
}

TSqlTestServer::TStart TSqlTestServer::Start(std::string& why, unsigned lifetimeSeconds) {
    if (!UnderWine() || ::GetFileAttributesW(ScriptPath().c_str()) == INVALID_FILE_ATTRIBUTES ||
        UnixPath(ScriptPath()).empty()) {
        why = "the SQL test servers run only under Wine, with " + WideToUtf8(ScriptPath());
        return TStart::Unavailable;
    }
    std::string log;
    // Removed in the end even when the start fails half-way.
    made_ = true;
    const int code = RunLinuxScript(ScriptPath(),
                                    L"start " + QuoteArgument(UnixPath(folder_.path())) + L" " +
                                        std::to_wstring(lifetimeSeconds),
                                    folder_.path(), 180000, log);
    if (code == 77) {
        why = log;
        return TStart::Unavailable;
    }
    if (code != 0) {
        why = "starting the server failed (" + std::to_string(code) + "): " + log;
        return TStart::Failed;
    }
    port_ = _wtoi(FileLine(folder_.file(L"port")).c_str());
    connection_ = FileLine(folder_.file(L"connection"));
    password_ = FileLine(folder_.file(L"password"));
    return TStart::Started;
}

bool TSqlTestServer::Stop(std::string& why) { return Run(L"stop " + QuoteArgument(UnixPath(folder_.path())), why); }

bool TSqlTestServer::Restart(std::string& why) {
    return Run(L"restart " + QuoteArgument(UnixPath(folder_.path())), why);
}

bool TSqlTestServer::Execute(const std::wstring& sql, std::string& output) {
    const std::wstring path = folder_.file(L"statements.sql");
    {
        std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
        file << WideToUtf8(sql) << "\n";
    }
    ::DeleteFileW(folder_.file(L"output").c_str());
    if (!Run(L"sql " + QuoteArgument(UnixPath(folder_.path())) + L" " + QuoteArgument(UnixPath(path)), output))
        return false;
    output = ReadBytes(folder_.file(L"output"));
    return true;
}

TSqlDirectorySettings TSqlTestServer::Settings() const {
    TSqlDirectorySettings settings;
    settings.Connection = connection_;
    settings.Password = password_;
    return settings;
}
