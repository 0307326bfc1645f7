#pragma once
#include "BackgroundCheck.h"
#include "SharedDirectoryClient.h"

#include <windows.h>

#include <optional>
#include <string>

// "Тест соединения" of the settings window: one check of a directory server at
// a time, on the program's background check; the window hears of its end by a
// message and takes the outcome.
class TSharedDirectoryCheck {
public:
    // portText as the window shows it (not a number: port 0, which fails).
    // False while a check runs or when none could start.
    bool Start(const std::wstring& host, const std::wstring& portText, HWND window, UINT message);
    bool Running() const { return FCheck.Running(); }
    std::optional<TDBTestOutcome> Take() { return FCheck.Take(); }
    // A check still running is left to end by itself.
    void Cancel() { FCheck.Cancel(); }

private:
    TBackgroundCheck<TDBTestOutcome> FCheck;
};
