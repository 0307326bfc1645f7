#pragma once
#include "ExceptionText.h"

#include <cstdint>
#include <exception>
#include <string>

// "Ошибка подключения библиотеки 0x0000000A." for a Connect result of 10.
std::wstring FormatConnectError(int32_t result);
