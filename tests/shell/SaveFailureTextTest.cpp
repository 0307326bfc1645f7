// What the error box says about a failed save: the number and the error's own text.
#include <gtest/gtest.h>

#include "AppError.h"
#include "SaveFailureText.h"

#include <stdexcept>

TEST(SaveFailureText, NamesTheNumberAndTheReasonAsTheyStand) {
    struct Case {
        std::wstring phone;
        std::exception_ptr error;
        std::wstring text;
    };
    const Case cases[] = {
        {L"74951234567", std::make_exception_ptr(AppError(L"Справочник абонентов закрыт.")),
         L"Данные абонента 74951234567 не сохранены.\r\n\r\nСправочник абонентов закрыт.\r\n\r\nСохраните их ещё раз."},
        {L"", std::make_exception_ptr(std::runtime_error("socket closed")),
         L"Данные абонента без номера не сохранены.\r\n\r\nsocket closed\r\n\r\nСохраните их ещё раз."},
        // Placeholders inside the reason are text, not format.
        {L"*100#", std::make_exception_ptr(AppError(L"100% занято: %1 %2 %s")),
         L"Данные абонента *100# не сохранены.\r\n\r\n100% занято: %1 %2 %s\r\n\r\nСохраните их ещё раз."},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, SaveFailureText({c.phone, c.error}));
    // Whatever was thrown, the box says something.
    EXPECT_NE(std::wstring::npos, SaveFailureText({L"1", std::make_exception_ptr(42)}).find(L"Данные абонента 1 не"));
}

TEST(SaveFailureText, AnUnfinishedSaveNamesItsNumber) {
    EXPECT_EQ(L"Данные абонента 74951234567, возможно, не сохранены: программа закрылась раньше, чем закончилось их "
              L"сохранение.",
              UnfinishedSaveText(L"74951234567"));
    EXPECT_NE(std::wstring::npos, UnfinishedSaveText(L"").find(L"без номера"));
}

TEST(SaveFailureText, ATextTooLongForTheDirectoriesSaysWhichAndHowLong) {
    const struct {
        TDirectoryTextField field;
        const wchar_t* told;
    } cases[] = {
        {TDirectoryTextField::Phone, L"\r\n\r\nНомер длиннее 524288 знаков"},
        {TDirectoryTextField::Name, L"\r\n\r\nИмя длиннее 524288 знаков"},
        {TDirectoryTextField::Comment, L"\r\n\r\nКомментарий длиннее 524288 знаков"},
    };
    for (const auto& c : cases) {
        const std::wstring text =
            SaveFailureText({L"74951234567", std::make_exception_ptr(TDirectoryTextTooLong(c.field))});
        EXPECT_EQ(0u, text.find(L"Данные абонента 74951234567 не сохранены.")) << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(c.told)) << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(L"Сократите текст.")) << testing::PrintToString(text);
    }
}
