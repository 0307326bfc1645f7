#include "OdbcConnectionString.h"

std::wstring ConnectionStringWithPassword(const std::wstring& connection, const std::wstring& password) {
    if (password.empty()) return connection;
    std::wstring text = connection;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    if (!text.empty() && text.back() != L';') text += L';';
    text += L"Pwd={";
    for (const wchar_t c : password) {
        text += c;
        if (c == L'}') text += L'}';
    }
    return text + L"};";
}
