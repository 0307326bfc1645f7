// citycodes CSV-FILE TARGET-FOLDER
// Builds "CityCodes.db" in TARGET-FOLDER from the CSV list. A file with any bad
// line builds nothing; every bad line is reported with its number.
#include "AppError.h"
#include "CityCodesImport.h"
#include "ExceptionText.h"
#include "KordavinUtils.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

namespace {

// Console text as UTF-16; redirected output as UTF-8.
void Write(DWORD stream, const std::wstring& text) {
    HANDLE handle = ::GetStdHandle(stream);
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = WideToUtf8(text);
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, std::wstring& error) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 256 * 1024 * 1024) {
        error = SystemErrorText(::GetLastError());
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        error = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

int Run(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        Write(STD_ERROR_HANDLE, L"usage: citycodes CSV-FILE [TARGET-FOLDER]\n"
                                L"Without a folder the table goes to the program's default city-code folder.\n");
        return 2;
    }
    const std::wstring csvPath = argv[1];
    const std::wstring folder = argc == 3 ? std::wstring(argv[2]) : DefaultCityCodesDir();
    std::string bytes;
    std::wstring error;
    if (!ReadWholeFile(csvPath, bytes, error)) {
        Write(STD_ERROR_HANDLE, csvPath + L": cannot read: " + error + L"\n");
        return 2;
    }
    const CityCodesCsv csv = ParseCityCodesCsv(bytes);
    if (!csv.problems.empty()) {
        for (const CityCodesProblem& problem : csv.problems)
            Write(STD_ERROR_HANDLE, csvPath + L":" + std::to_wstring(problem.line) + L": " + problem.message + L"\n");
        Write(STD_ERROR_HANDLE, std::to_wstring(csv.problems.size()) + L" bad line(s); nothing was built\n");
        return 1;
    }
    try {
        BuildCityCodesTable(folder, csv.rows);
    } catch (const AppError& failure) {
        Write(STD_ERROR_HANDLE, failure.message() + L"\n");
        return 2;
    }
    Write(STD_OUTPUT_HANDLE, L"CityCodes.db built in " + folder + L" with " + std::to_wstring(csv.rows.size()) +
                                 L" codes\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception&) {
        Write(STD_ERROR_HANDLE, ExceptionText(std::current_exception()) + L"\n");
        return 2;
    }
}
