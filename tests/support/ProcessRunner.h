#pragma once
#include <windows.h>

#include <string>

struct ProgramResult {
    DWORD exitCode = 0;
    std::string output;  // standard output and error, as the program wrote them
    bool timedOut = false;
};

// Runs a program to its end (killed after the timeout) and collects its output.
ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// Quotes one argument for a Windows command line.
std::wstring QuoteArgument(const std::wstring& argument);
