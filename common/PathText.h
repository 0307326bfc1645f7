#pragma once
#include <string>

// The path with one path delimiter at its end (none added after "\" or "/").
std::wstring IncludeTrailingPathDelimiter(const std::wstring& path);

// A name inside a folder; an empty folder leaves the name as it is.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
