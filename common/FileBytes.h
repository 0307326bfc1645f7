#pragma once
#include <string>

// A whole file read into memory or written from it (replacing what was there).
// Failures leave as AppError with the system's reason and the path.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
