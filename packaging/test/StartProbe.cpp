// startprobe
// Stands in for the program in the restart tests: started without arguments, it
// writes "started.txt" into its current folder, with its own program path, and
// ends.
#include "ModuleFile.h"
#include "TextConvert.h"

#include <windows.h>

#include <string>

int wmain() {
    const std::string text = WideToUtf8(ModuleFileName());
    HANDLE file =
        ::CreateFileW(L"started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
