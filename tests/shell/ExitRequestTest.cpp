// The hidden window through which an installer asks a running copy to end.
#include "ExitRequest.h"
#include "InformerProcess.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT kExitCommand = 1201;  // the tray menu's exit item

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// The exit-request window of one process, once it is there.
HWND ExitRequestWindowOf(DWORD processId, DWORD timeoutMs = 10000) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    do {
        for (HWND window = ::FindWindowExW(nullptr, nullptr, kExitRequestClass, nullptr); window;
             window = ::FindWindowExW(nullptr, window, kExitRequestClass, nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == processId) return window;
        }
        ::Sleep(50);
    } while (::GetTickCount64() < deadline);
    return nullptr;
}

}  // namespace

TEST(ExitRequest, ACloseBecomesTheExitCommandAndTheWindowStaysUntilItsOwnerGoes) {
    UniqueWindow target(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(target);
    HWND requestWindow = nullptr;
    {
        TExitRequestWindow request(::GetModuleHandleW(nullptr), target.get(), kExitCommand);
        requestWindow = request.Handle();
        ASSERT_NE(nullptr, requestWindow);
        EXPECT_EQ(kExitRequestClass, ClassOf(requestWindow));
        EXPECT_EQ(nullptr, ::GetParent(requestWindow)) << "top-level, so a plain FindWindow finds it";
        EXPECT_FALSE(::IsWindowVisible(requestWindow));

        EXPECT_EQ(0, ::SendMessageW(requestWindow, WM_CLOSE, 0, 0));
        EXPECT_EQ(0, ::SendMessageW(requestWindow, WM_CLOSE, 0, 0));
        EXPECT_TRUE(::IsWindow(requestWindow)) << "a request does not destroy the window";

        std::vector<WPARAM> commands;
        MSG message;
        while (::PeekMessageW(&message, target.get(), WM_COMMAND, WM_COMMAND, PM_REMOVE))
            commands.push_back(message.wParam);
        EXPECT_EQ((std::vector<WPARAM>{MAKEWPARAM(kExitCommand, 0), MAKEWPARAM(kExitCommand, 0)}), commands);
    }
    EXPECT_FALSE(::IsWindow(requestWindow));
}

TEST(ExitRequest, TheRunningProgramEndsAsThroughItsExitItemWhenAsked) {
    InformerProcess informer({UniqueSimSession(), false, {}, {}});
    ASSERT_TRUE(informer.started());
    ASSERT_NE(nullptr, informer.MainWindow());
    HWND request = ExitRequestWindowOf(informer.processId());
    ASSERT_NE(nullptr, request) << "the program has no exit-request window";

    UniqueKernelHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, informer.processId()));
    ASSERT_TRUE(process);
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(request, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 15000)) << "the program did not end";
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(0u, code) << "ended normally, not killed";
}
