#include "PathText.h"

namespace {
bool IsPathDelimiter(wchar_t c) { return c == L'\\' || c == L'/'; }
}  // namespace

std::wstring IncludeTrailingPathDelimiter(const std::wstring& path) {
    if (!path.empty() && IsPathDelimiter(path.back())) return path;
    return path + L'\\';
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    return IncludeTrailingPathDelimiter(folder) + name;
}
