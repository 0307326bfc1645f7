#include "OdbcConnectionString.h"

#include <cwctype>

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The value of Driver=, braces and all; empty when there is none.
std::wstring DriverOf(const std::wstring& lowerConnection) {
    size_t at = 0;
    while ((at = lowerConnection.find(L"driver", at)) != std::wstring::npos) {
        const bool starts = at == 0 || lowerConnection[at - 1] == L';' || lowerConnection[at - 1] == L' ';
        size_t next = at + 6;
        while (next < lowerConnection.size() && lowerConnection[next] == L' ') ++next;
        if (starts && next < lowerConnection.size() && lowerConnection[next] == L'=') {
            const size_t end = lowerConnection.find(L';', next);
            return lowerConnection.substr(next + 1, end == std::wstring::npos ? std::wstring::npos : end - next - 1);
        }
        at = next;
    }
    return {};
}

}  // namespace

std::wstring ConnectionStringWithPassword(const std::wstring& connection, const std::wstring& password) {
    if (password.empty()) return connection;
    // One buffer, big enough from the start: a string that grew or was copied
    // on the way would leave the password in memory the heap takes back.
    std::wstring text;
    text.reserve(connection.size() + 2 * password.size() + 8);
    text = connection;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    if (!text.empty() && text.back() != L';') text += L';';
    text += L"Pwd={";
    for (const wchar_t c : password) {
        text += c;
        if (c == L'}') text += L'}';
    }
    text += L"};";
    return text;
}

std::wstring ConnectionStringWithTimeouts(const std::wstring& connection, unsigned loginSeconds,
                                          unsigned querySeconds) {
    const std::wstring lower = Lower(connection);
    const std::wstring driver = DriverOf(lower);
    const bool maria = driver.find(L"mariadb") != std::wstring::npos;
    const bool mysql = !maria && driver.find(L"mysql") != std::wstring::npos;
    const bool postgres = driver.find(L"postgresql") != std::wstring::npos;
    if (!maria && !mysql && !postgres) return connection;
    if (lower.find(L"timeout") != std::wstring::npos || lower.find(L"keepalive") != std::wstring::npos)
        return connection;
    std::wstring text = connection;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    if (!text.empty() && text.back() != L';') text += L';';
    if (postgres) return text + L"KeepaliveTime=30;KeepaliveInterval=10;";
    const std::wstring query = std::to_wstring(querySeconds);
    if (maria)
        return text + L"CONN_TIMEOUT=" + std::to_wstring(loginSeconds) + L";READ_TIMEOUT=" + query +
               L";WRITE_TIMEOUT=" + query + L";";
    return text + L"READTIMEOUT=" + query + L";WRITETIMEOUT=" + query + L";";
}
