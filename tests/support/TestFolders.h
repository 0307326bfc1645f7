#pragma once
#include <string>

// The folder that holds the running test program (and the programs and DLLs
// built beside it).
std::wstring ProgramFolder();

// A fresh, empty temporary folder of this test, removed with the object; the name
// carries the process id and a counter so that parallel tests never share one.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A session name for the simulated server, unique to this process, so tests that
// run side by side never drive each other's simulator.
std::wstring UniqueSimSession();

// The whole content of a file, or empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
