#pragma once
#include <exception>
#include <string>

// The user-readable text a caught error carries: AppError's own message, the
// system's wording of a system error (FormatMessageW, in the user's language),
// or a runtime error's what() read in the ANSI code page, where the runtime
// writes it. Empty when the error carries no text (not a std::exception, or an
// empty what()): the caller says what it shows then.
std::wstring ExceptionText(const std::exception_ptr& error);

// The text to show for a caught error: its own text as above, or a one-line
// description of what was raised, at most 1024 characters.
std::wstring GetExceptionText(const std::exception_ptr& error);
