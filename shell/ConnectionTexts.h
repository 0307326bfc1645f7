#pragma once
#include <cstdint>
#include <exception>
#include <string>

// "Ошибка подключения библиотеки 0x0000000A." for a Connect result of 10.
std::wstring FormatConnectError(int32_t result);

// The text to show for a caught error: its own message, or a one-line
// description of what was raised, at most 1024 characters.
std::wstring GetExceptionText(const std::exception_ptr& error);
