#pragma once
#include <exception>
#include <string>

// The text to show for a caught error: its own message, or a one-line
// description of what was raised, at most 1024 characters.
std::wstring GetExceptionText(const std::exception_ptr& error);
