#include "SqlTableName.h"

namespace {

constexpr size_t kMaxPartLength = 128;

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsPlainPart(const std::wstring& part) {
    if (part.empty() || part.size() > kMaxPartLength || !IsLetter(part.front())) return false;
    for (const wchar_t c : part)
        if (!IsLetter(c) && !IsDigit(c)) return false;
    return true;
}

}  // namespace

bool IsPlainTableName(const std::wstring& name) {
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos) return IsPlainPart(name);
    return IsPlainPart(name.substr(0, dot)) && IsPlainPart(name.substr(dot + 1));
}

std::optional<std::wstring> QuotedTableName(const std::wstring& name, const std::wstring& quote) {
    if (!IsPlainTableName(name)) return std::nullopt;
    const std::wstring q = quote == L" " ? std::wstring() : quote;
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos) return q + name + q;
    return q + name.substr(0, dot) + q + L"." + q + name.substr(dot + 1) + q;
}
