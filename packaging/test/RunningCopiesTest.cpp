// Finding the running copies of one program file and where a package builds the
// city-code table.
#include "CityCodesTarget.h"
#include "ExitRequest.h"
#include "KordavinUtils.h"
#include "LongPath.h"
#include "ModuleFile.h"
#include "RunningCopies.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "UniqueHandle.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::wstring ShortPathOf(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : path;
}

std::wstring UpperCase(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(::towupper(c)); });
    return text;
}

bool Contains(const std::vector<HWND>& windows, HWND window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

void WriteText(const std::wstring& path, const std::string& text) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    file << text;
}

}  // namespace

TEST(SamePath, ComparesAsWindowsNamesFiles) {
    TempFolder folder;
    const std::wstring longFolder = folder.file(L"Длинное имя папки программы");
    ASSERT_TRUE(::CreateDirectoryW(longFolder.c_str(), nullptr));
    const std::wstring program = longFolder + L"\\KordavinInformer.exe";
    WriteText(program, "MZ");
    struct Case {
        std::wstring other;
        bool same;
    } cases[] = {
        {program, true},
        {UpperCase(program), true},
        {ShortPathOf(program), true},
        {ShortPathOf(longFolder) + L"\\KordavinInformer.exe", true},
        {longFolder + L"/KordavinInformer.exe", true},
        {longFolder, false},
        {longFolder + L"\\citycodes.exe", false},
        {folder.file(L"KordavinInformer.exe"), false},
        {L"", false},
    };
    for (const Case& test : cases) EXPECT_EQ(test.same, SamePath(program, test.other)) << test.other;
    EXPECT_TRUE(SamePath(longFolder + L"\\", ShortPathOf(longFolder))) << "a trailing delimiter does not matter";
}

TEST(RunningCopies, TheExitRequestWindowNamesItsProgramFileAndOnlyThatFileFindsIt) {
    UniqueWindow target(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(target);
    TExitRequestWindow request(::GetModuleHandleW(nullptr), target.get(), 1201);
    const std::wstring program = ModuleFileName();
    EXPECT_TRUE(SamePath(program, WindowText(request.Handle())));
    EXPECT_EQ(LongPathOf(program), WindowText(request.Handle())) << "the long form, as an installer's folder";

    EXPECT_TRUE(Contains(ExitRequestWindowsOf(program), request.Handle()));
    EXPECT_TRUE(Contains(ExitRequestWindowsOf(UpperCase(ShortPathOf(program))), request.Handle()));
    // A copy elsewhere (a portable one) is another program file.
    TempFolder elsewhere;
    EXPECT_FALSE(Contains(ExitRequestWindowsOf(elsewhere.file(L"KordavinInformer.exe")), request.Handle()));
    EXPECT_FALSE(Contains(ExitRequestWindowsOf(ProgramFolder() + L"\\KordavinInformer.exe"), request.Handle()));
}

TEST(RunningCopies, AnUntitledWindowOfAnotherCopyIsNeverAsked) {
    // Windows of this class from copies that do not name their program file.
    UniqueWindow untitled(::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                            nullptr, nullptr));
    ASSERT_TRUE(untitled);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kExitRequestClass;
    ::RegisterClassExW(&windowClass);
    UniqueWindow old(::CreateWindowExW(WS_EX_TOOLWINDOW, kExitRequestClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(old);
    EXPECT_FALSE(Contains(ExitRequestWindowsOf(ModuleFileName()), old.get()));
    EXPECT_FALSE(Contains(ExitRequestWindowsOf(L""), old.get()));
}

TEST(RunningCopies, NoCopyOfAFileIsToldAtOnce) {
    TempFolder folder;
    const std::wstring program = folder.file(L"KordavinInformer.exe");
    WriteText(program, "MZ");
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(TStopResult::NoneRunning, StopRunningCopies(program, 10000));
    EXPECT_EQ(TStopResult::NoneRunning, StopRunningCopies(folder.file(L"missing.exe"), 10000));
    EXPECT_LT(::GetTickCount64() - start, 5000u);
}

namespace {

// The exit-request window of a copy that never ends: counts the requests.
class TStubbornCopy {
public:
    explicit TStubbornCopy(const std::wstring& programFile) {
        // Registered here unless another test did it already.
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kExitRequestClass;
        ::RegisterClassExW(&windowClass);
        FWindow.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kExitRequestClass, programFile.c_str(), WS_POPUP, 0, 0, 0,
                                        0, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
        if (FWindow) {
            ::SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            FOriginal = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrW(FWindow.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
        }
    }
    HWND Handle() const { return FWindow.get(); }
    int Requests() const { return FRequests; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TStubbornCopy*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_CLOSE && self) {
            ++self->FRequests;
            return 0;
        }
        return self && self->FOriginal ? ::CallWindowProcW(self->FOriginal, window, message, wParam, lParam)
                                       : ::DefWindowProcW(window, message, wParam, lParam);
    }

    UniqueWindow FWindow;
    WNDPROC FOriginal = nullptr;
    int FRequests = 0;
};

}  // namespace

TEST(RunningCopies, AFileHeldWithoutAnyCopysWindowIsNotWaitedFor) {
    TempFolder folder;
    const std::wstring program = folder.file(L"KordavinInformer.exe");
    WriteText(program, "MZ");
    // As a virus scanner might hold it.
    UniqueFileHandle held(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(TStopResult::NoneRunning, StopRunningCopies(program, 10000));
    EXPECT_LT(::GetTickCount64() - start, 5000u);
}

TEST(RunningCopies, ACopyThatDoesNotEndIsAskedOnceAndReportedWhenTheTimeIsUp) {
    TempFolder folder;
    const std::wstring program = folder.file(L"KordavinInformer.exe");
    WriteText(program, "MZ");
    TStubbornCopy copy(program);
    ASSERT_NE(nullptr, copy.Handle());
    TStubbornCopy elsewhere(folder.file(L"portable\\KordavinInformer.exe"));
    EXPECT_EQ(TStopResult::StillRunning, StopRunningCopies(program, 1000));
    EXPECT_EQ(1, copy.Requests()) << "one request: the copy may be busy finishing its saves";
    EXPECT_EQ(0, elsewhere.Requests()) << "a copy from another folder is never asked";
}

TEST(CityCodesTarget, TheFolderOfTheIniFileOrTheDefaultAndNothingWhereATableExists) {
    TempFolder install;
    TempFolder tables;
    // No INI file: the default folder, unless a table is there already.
    const std::wstring byDefault = CityCodesFolderToBuild(install.path());
    const bool defaultHasTable =
        ::GetFileAttributesW((DefaultCityCodesDir() + L"\\CityCodes.db").c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(defaultHasTable ? std::wstring() : DefaultCityCodesDir(), byDefault);

    WriteText(install.file(L"KordavinInformer.ini"),
              "[Main]\r\nAreaCodesPath=" + WideToUtf8(tables.path() + L"\\") + "\r\n");
    EXPECT_EQ(tables.path(), CityCodesFolderToBuild(install.path())) << "no trailing delimiter before a closing quote";

    WriteText(tables.file(L"CityCodes.db"), "table");
    EXPECT_EQ(L"", CityCodesFolderToBuild(install.path())) << "an existing table is kept";
}
