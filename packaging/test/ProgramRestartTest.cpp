// Starting the program again after an upgrade: as the signed-in user, never
// with the installer's raised rights.
#include "ProgramRestart.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

DWORD OwnSession() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

struct TStartCall {
    TRestartWay Way;
    DWORD Session;
    std::wstring Program;
    bool operator==(const TStartCall&) const = default;
};

}  // namespace

TEST(ProgramRestart, TheMachineStartsItAsTheSessionsUserRaisedRightsNeverAndAUserDirectly) {
    const struct {
        TInstallerIdentity installer;
        TRestartWay way;
    } cases[] = {
        {{true, true}, TRestartWay::AsSessionUser},  // Windows Installer's deferred actions
        {{true, false}, TRestartWay::AsSessionUser},
        {{false, true}, TRestartWay::NotAtAll},  // an elevated administrator: not the user's own rights
        {{false, false}, TRestartWay::Directly},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.way, ChooseRestartWay(c.installer)) << c.installer.LocalSystem << c.installer.Elevated;
}

TEST(ProgramRestart, TheDataCarriesEachSessionOnceAndThePathOrIsRefused) {
    const std::wstring program = L"C:\\Program Files\\Kordavin Informer\\KordavinInformer.exe";
    std::vector<DWORD> sessions;
    std::wstring parsed;
    ASSERT_TRUE(ParseRestartData(RestartData({1, 3, 1}, program), sessions, parsed));
    EXPECT_EQ((std::vector<DWORD>{1, 3}), sessions);
    EXPECT_EQ(program, parsed);
    for (const wchar_t* bad : {L"", L"|C:\\x.exe", L"1|", L"a|C:\\x.exe", L"1,,2|C:\\x.exe", L"1;2|C:\\x.exe",
                               L"-1|C:\\x.exe", L"99999999999|C:\\x.exe", L"C:\\x.exe"})
        EXPECT_FALSE(ParseRestartData(bad, sessions, parsed)) << WideToUtf8(bad);
}

TEST(ProgramRestart, EachSessionAsItsUserOnlyForTheMachineAndNothingStartedWithRaisedRights) {
    const std::wstring program = L"C:\\Programs\\KordavinInformer.exe";
    const std::wstring data = RestartData({1, 3}, program);
    std::vector<TStartCall> calls;
    const TProgramStarter record = [&](TRestartWay way, DWORD session, const std::wstring& path) {
        calls.push_back({way, session, path});
        return TRestartResult{TRestartStatus::Started, session, {}};
    };
    RestartStoppedCopies(data, {true, true}, record);
    EXPECT_EQ(
        (std::vector<TStartCall>{{TRestartWay::AsSessionUser, 1, program}, {TRestartWay::AsSessionUser, 3, program}}),
        calls);

    calls.clear();
    RestartStoppedCopies(data, {false, false}, record);
    EXPECT_EQ((std::vector<TStartCall>{{TRestartWay::Directly, 1, program}}), calls)
        << "a user's installer starts one copy, in its own session";

    // This test runs with the rights Windows (or Wine, where every program runs
    // as an administrator) gives it: raised ones are never passed on.
    const TInstallerIdentity self = CurrentInstallerIdentity();
    EXPECT_FALSE(self.LocalSystem);
    if (self.Elevated) {
        TempFolder folder;
        const std::vector<TRestartResult> results =
            RestartStoppedCopies(RestartData({OwnSession()}, folder.file(L"KordavinInformer.exe")), self);
        ASSERT_EQ(1u, results.size());
        EXPECT_EQ(TRestartStatus::NotStartedElevated, results[0].Status);
        EXPECT_NE(std::wstring::npos, RestartResultText(results[0], L"X").find(L"administrator rights"));
    }
}

// Under Wine the session's user token is the test's own (Wine has one user and
// no SYSTEM): what shows is the start itself, the quoted path and the folder.
TEST(ProgramRestart, AsTheSessionsUserTheProgramStartsInItsOwnFolder) {
    TempFolder folder;
    const std::wstring programFolder = folder.file(L"Информатор с пробелами");
    ASSERT_TRUE(::CreateDirectoryW(programFolder.c_str(), nullptr));
    const std::wstring program = programFolder + L"\\KordavinInformer.exe";
    ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\startprobe.exe").c_str(), program.c_str(), FALSE));

    for (const TRestartWay way : {TRestartWay::AsSessionUser, TRestartWay::Directly}) {
        SCOPED_TRACE(static_cast<int>(way));
        const std::wstring mark = programFolder + L"\\started.txt";
        ::DeleteFileW(mark.c_str());
        const TRestartResult result = StartProgramAs(way, OwnSession(), program);
        ASSERT_EQ(TRestartStatus::Started, result.Status) << WideToUtf8(RestartResultText(result, program));
        std::string started;
        for (int i = 0; i < 500 && started.empty(); ++i) {
            ::Sleep(20);
            started = ReadBytes(mark);
        }
        EXPECT_EQ(WideToUtf8(program), started);
    }
}
