#include "DirectoryTestSupport.h"

#include "CityCodesImport.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

std::string Windows1251(const std::wstring& text) {
    std::string bytes(text.size(), '\0');
    ::WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

SubscriberRows ReadSubscriberRows(const std::wstring& tablePath) {
    SubscriberRows rows;
    sqlite3* db = nullptr;
    const std::string path = WideToUtf8(tablePath);
    EXPECT_EQ(SQLITE_OK, sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
    SqliteConnection connection(db);
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_prepare16_v2(db, L"SELECT AbonentPhone, AbonentName, AbonentComment FROM AbonentPhones",
                                              -1, &raw, nullptr));
    SqliteStatement select(raw);
    auto text = [&](int column) {
        const auto* value = static_cast<const wchar_t*>(sqlite3_column_text16(raw, column));
        return value ? std::wstring(value) : std::wstring();
    };
    while (raw && sqlite3_step(raw) == SQLITE_ROW) rows[text(0)] = {text(1), text(2)};
    return rows;
}

void MakeCityTable(const std::wstring& folder, const std::vector<std::pair<std::wstring, std::wstring>>& rows) {
    std::vector<CityCodeRow> codes;
    for (const auto& [code, name] : rows) codes.push_back({code, name});
    BuildCityCodesTable(folder, codes);
}
