#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// The real KordavinInformer.exe started for a black-box test, with the test's
// simulator session and test-only start options in its environment.
class InformerProcess {
public:
    struct Options {
        std::wstring simSession;
        bool active = true;
        std::wstring folder;  // where the exe runs from; empty: beside the test
    };

    explicit InformerProcess(const Options& options);
    ~InformerProcess();
    InformerProcess(const InformerProcess&) = delete;
    InformerProcess& operator=(const InformerProcess&) = delete;

    bool started() const { return process_.valid(); }
    DWORD processId() const { return processId_; }

    // Waits until the program has created its recording-server object.
    bool WaitForSimulator(DWORD timeoutMs = 15000) const;
    // The program's main window (hidden or not), found by process and class.
    HWND MainWindow(DWORD timeoutMs = 10000) const;
    std::wstring StatusText() const;
    // Runs recsim.exe against this program; returns its exit code.
    DWORD Recsim(const std::vector<std::wstring>& arguments) const;
    // Chooses "Выход" and waits for the program to end; returns its exit code.
    DWORD Exit(DWORD timeoutMs = 15000);

private:
    std::wstring session_;
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
};
