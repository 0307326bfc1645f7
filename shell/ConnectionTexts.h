#pragma once
#include "SharedDirectoryClient.h"
#include "ExceptionText.h"

#include <cstdint>
#include <exception>
#include <string>

// "Ошибка подключения библиотеки 0x0000000A." for a Connect result of 10.
std::wstring FormatConnectError(int32_t result);

// What the settings window shows for the outcome of "Тест соединения".
struct TDBTestMessage {
    std::wstring Text;
    UINT Icon;  // MB_ICONINFORMATION or MB_ICONWARNING
};
TDBTestMessage DBTestMessage(TDBTestOutcome outcome);
