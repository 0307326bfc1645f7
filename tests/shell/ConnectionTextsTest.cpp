#include "ConnectionTexts.h"

#include "AppError.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ConnectionTexts, ConnectResultIsShownAsEightUpperCaseHexDigits) {
    EXPECT_EQ(L"Ошибка подключения библиотеки 0x00000005.", FormatConnectError(5));
    EXPECT_EQ(L"Ошибка подключения библиотеки 0x0000000A.", FormatConnectError(10));
    EXPECT_EQ(L"Ошибка подключения библиотеки 0xFFFFFFFF.", FormatConnectError(-1));
}

TEST(ConnectionTexts, ExceptionTextIsTheErrorsOwnMessageCutTo1024) {
    EXPECT_EQ(L"Класс не зарегистрирован",
              GetExceptionText(std::make_exception_ptr(AppError(L"Класс не зарегистрирован"))));
    EXPECT_EQ(L"bad thing", GetExceptionText(std::make_exception_ptr(std::runtime_error("bad thing"))));
    EXPECT_EQ(1024u, GetExceptionText(std::make_exception_ptr(AppError(std::wstring(5000, L'x')))).size());
    EXPECT_FALSE(GetExceptionText(std::make_exception_ptr(42)).empty());
}
