#pragma once
#include <string>

// The long form of an existing path (8.3 short names expanded); the path as it
// is when it does not exist or cannot be read.
std::wstring LongPathOf(const std::wstring& path);

// True when both paths name the same file or folder as Windows compares names:
// long forms, letter case ignored, "/" as "\", no trailing delimiter.
bool SamePath(const std::wstring& a, const std::wstring& b);
