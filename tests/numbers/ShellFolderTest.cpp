// Shell-folder values and the common data folder, read from a private registry
// key of this test process so the machine's own keys are never touched.
#include <gtest/gtest.h>

#include "KordavinUtils.h"
#include "PathText.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

namespace {

const std::wstring kTestParent = L"Software\\KordavinTest";

class ShellFolderTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = kTestParent + L"\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64());
        first_ = root_ + L"\\User Shell Folders";
        second_ = root_ + L"\\Shell Folders";
    }

    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
        // Succeeds only once no other test process still has its key below.
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestParent.c_str());
    }

    static void SetRaw(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                       DWORD bytes) {
        HKEY created = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, &created, nullptr));
        const UniqueRegKey key(created);
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes));
    }

    // The text with its terminating NUL, as the registry normally holds it.
    static void SetText(const std::wstring& subkey, const std::wstring& name, const std::wstring& text,
                        DWORD type = REG_SZ) {
        SetRaw(subkey, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring Read(const std::wstring& name) const {
        return GetShellFolderPathFrom(HKEY_CURRENT_USER, first_, second_, name);
    }

    std::wstring root_, first_, second_;
};

TEST_F(ShellFolderTest, FirstKeyWinsOverSecond) {
    SetText(first_, L"Common AppData", L"C:\\First");
    SetText(second_, L"Common AppData", L"C:\\Second");
    EXPECT_EQ(L"C:\\First", Read(L"Common AppData"));
}

TEST_F(ShellFolderTest, SecondKeyServesWhenFirstLacksTheValueOrTheKey) {
    SetText(second_, L"Common AppData", L"C:\\Second");
    EXPECT_EQ(L"C:\\Second", Read(L"Common AppData")) << "no first key at all";
    SetText(first_, L"Other", L"C:\\Other");
    EXPECT_EQ(L"C:\\Second", Read(L"Common AppData")) << "first key without the value";
}

TEST_F(ShellFolderTest, MissingEverywhereGivesEmptyAndDataFolderFallsBackToExecutable) {
    SetText(first_, L"Other", L"C:\\Other");
    SetText(second_, L"Other", L"C:\\Other");
    const std::wstring path = Read(L"Common AppData");
    EXPECT_EQ(L"", path);
    EXPECT_EQ(ProgramFolder(), CommonDataDirFrom(path));
}

TEST_F(ShellFolderTest, ExpandableTextIsExpandedAndPlainTextIsNot) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KORDAVIN_TEST_DATA", L"D:\\Общие данные"));
    SetText(first_, L"Expand", L"%KORDAVIN_TEST_DATA%\\Sub", REG_EXPAND_SZ);
    SetText(first_, L"Plain", L"%KORDAVIN_TEST_DATA%\\Sub", REG_SZ);
    EXPECT_EQ(L"D:\\Общие данные\\Sub", Read(L"Expand"));
    EXPECT_EQ(L"%KORDAVIN_TEST_DATA%\\Sub", Read(L"Plain"));
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_DATA", nullptr);
}

TEST_F(ShellFolderTest, ExpansionLongerThanAPathIsKept) {
    const std::wstring longValue(1000, L'x');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KORDAVIN_TEST_LONG", longValue.c_str()));
    SetText(first_, L"Expand", L"C:\\%KORDAVIN_TEST_LONG%", REG_EXPAND_SZ);
    EXPECT_EQ(L"C:\\" + longValue, Read(L"Expand"));
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_LONG", nullptr);
}

TEST_F(ShellFolderTest, TextWithoutTerminatingNulIsReadCleanly) {
    const std::wstring text = L"C:\\NoTerminator";
    SetRaw(first_, L"Bare", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    SetRaw(first_, L"Odd", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t) - 1));
    SetRaw(first_, L"BareExpand", REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    EXPECT_EQ(text, Read(L"Bare"));
    EXPECT_EQ(text.substr(0, text.size() - 1), Read(L"Odd")) << "half a character is dropped";
    EXPECT_EQ(text, Read(L"BareExpand"));
}

TEST_F(ShellFolderTest, TextEndsAtItsFirstNul) {
    const wchar_t data[] = L"C:\\Before\0After";
    SetRaw(first_, L"Embedded", REG_SZ, data, sizeof(data));
    EXPECT_EQ(L"C:\\Before", Read(L"Embedded"));
}

TEST_F(ShellFolderTest, ValueLongerThanAPathIsReadWhole) {
    const std::wstring longPath = L"\\\\?\\C:\\" + std::wstring(700, L'д');
    SetText(first_, L"Long", longPath);
    SetText(second_, L"Long", L"C:\\Short");
    EXPECT_EQ(longPath, Read(L"Long"));
}

TEST_F(ShellFolderTest, ValueThatIsNoTextCountsAsMissing) {
    const DWORD number = 0x00430043;  // would read as "CC" if taken for text
    SetRaw(first_, L"Common AppData", REG_DWORD, &number, sizeof(number));
    SetText(second_, L"Common AppData", L"C:\\Second");
    EXPECT_EQ(L"C:\\Second", Read(L"Common AppData"));
    SetRaw(second_, L"Common AppData", REG_BINARY, &number, sizeof(number));
    EXPECT_EQ(L"", Read(L"Common AppData"));
}

TEST_F(ShellFolderTest, EmptyTextIsAnEmptyResult) {
    SetText(first_, L"Empty", L"", REG_EXPAND_SZ);
    SetText(second_, L"Empty", L"C:\\Second");
    EXPECT_EQ(L"", Read(L"Empty"));
}

TEST(CommonDataDir, AppendsTheProductFolderOnce) {
    EXPECT_EQ(L"C:\\ProgramData\\Kordavin Data", CommonDataDirFrom(L"C:\\ProgramData"));
    EXPECT_EQ(L"C:\\ProgramData\\Kordavin Data", CommonDataDirFrom(L"C:\\ProgramData\\"));
    EXPECT_EQ(L"C:/Data/Kordavin Data", CommonDataDirFrom(L"C:/Data/"));
    EXPECT_EQ(ProgramFolder(), CommonDataDirFrom(L""));
}

TEST(CommonDataDir, ComesFromTheMachineCommonAppData) {
    const std::wstring shared = GetShellFolderPath(L"Common AppData");
    EXPECT_FALSE(shared.empty()) << "every Windows (and Wine) installation has this folder";
    EXPECT_EQ(CommonDataDirFrom(shared), GetCommonDataDir());
    EXPECT_EQ(IncludeTrailingPathDelimiter(GetCommonDataDir()) + L"Localize\\RUS\\TQR", DefaultCityCodesDir());
}

TEST(CommonDataDir, ExecutableFolderHasNoTrailingDelimiter) {
    const std::wstring folder = ExecutableFolder();
    EXPECT_EQ(ProgramFolder(), folder);
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(L'\\', folder.back());
}

TEST(CityCodeCandidates, LongestFirstAndOnlyForFullNumbers) {
    EXPECT_TRUE(CityCodeCandidates(L"7495123456").empty());
    EXPECT_TRUE(CityCodeCandidates(L"").empty());
    const std::vector<std::wstring> expected{L"74951234", L"7495123", L"749512", L"74951",
                                             L"7495",     L"749",     L"74",     L"7"};
    EXPECT_EQ(expected, CityCodeCandidates(L"74951234567"));
    EXPECT_EQ(expected, CityCodeCandidates(L"749512345678901"));
}

}  // namespace
