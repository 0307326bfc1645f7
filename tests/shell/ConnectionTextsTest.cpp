#include "ConnectionTexts.h"

#include "AppError.h"
#include "TextConvert.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

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

TEST(ConnectionTexts, SystemErrorsAreWordedByTheSystemAndRuntimeTextsReadAsAnsi) {
    for (const int code : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, RPC_S_SERVER_UNAVAILABLE}) {
        SCOPED_TRACE(code);
        const std::system_error error(code, std::system_category(), "CreateFile");
        EXPECT_EQ(SystemErrorText(static_cast<unsigned long>(code)), GetExceptionText(std::make_exception_ptr(error)));
    }
    // "Ошибка" as the Russian ANSI code page spells it; a runtime text is never UTF-8.
    const std::string ansi = "\xCE\xF8\xE8\xE1\xEA\xE0";
    EXPECT_EQ(CodePageToWide(CP_ACP, ansi), GetExceptionText(std::make_exception_ptr(std::runtime_error(ansi))));
    EXPECT_EQ(std::wstring::npos, GetExceptionText(std::make_exception_ptr(std::runtime_error(ansi))).find(L'\xFFFD'))
        << "no replacement characters from a UTF-8 decoding";
}

TEST(ConnectionTexts, TheConnectionTestsOutcomeIsToldWithItsOwnTextAndIcon) {
    const struct {
        TDBTestOutcome outcome;
        const wchar_t* text;
        UINT icon;
    } cases[] = {
        {TDBTestOutcome::Success, L"Тест завершен успешно.", MB_ICONINFORMATION},
        {TDBTestOutcome::NotActive, L"БД на удалённом сервере не активна.", MB_ICONWARNING},
        {TDBTestOutcome::CannotConnect, L"Ошибка подключения к серверу БД.", MB_ICONWARNING},
        {TDBTestOutcome::TimedOut, L"Превышен тайм-аут ожидания.", MB_ICONWARNING},
    };
    for (const auto& c : cases) {
        const TDBTestMessage message = DBTestMessage(c.outcome);
        EXPECT_EQ(c.text, message.Text);
        EXPECT_EQ(c.icon, message.Icon) << testing::PrintToString(std::wstring(c.text));
    }
}
