#include "SharedDirectoryCheck.h"

#include "IniValues.h"

bool TSharedDirectoryCheck::Start(const std::wstring& host, const std::wstring& portText, HWND window,
                                  UINT message) {
    const int port = ParseIniInteger(portText).value_or(0);
    // The check may take seconds. Its client is its own: the job owns what it
    // uses, and the program's end never waits for it. A failure of the check
    // itself reads as a failed connection.
    const auto job = [host, port](std::stop_token) { return TSharedDirectoryClient().TestConnection(host, port); };
    return FCheck.Start(job, window, message, TDBTestOutcome::CannotConnect);
}
