// What a screen reader says for a popup, from its title and its text lines.
#include <gtest/gtest.h>

#include "PopupSpokenText.h"
#include "TextConvert.h"

#include <string>

namespace {

TEST(PopupSpokenTextTest, TitleThenEveryLineThatSaysSomething) {
    const struct {
        std::wstring title, info, spoken;
    } cases[] = {
        {L"ВЫЗОВ", L"Нет информации о номере.", L"ВЫЗОВ: Нет информации о номере."},
        {L"АОН", L"K1\r\n74951234567\r\nИванов Иван\r\nМосква\r\nПоставщик\r\n",
         L"АОН: K1, 74951234567, Иванов Иван, Москва, Поставщик"},
        // Empty name and region lines are not read out as pauses.
        {L"РАЗГОВОР", L"K1\r\n74951234567\r\n\r\n \r\n\r\n", L"РАЗГОВОР: K1, 74951234567"},
        {L"ВЫЗОВ", L"K1\r\n\r\n\r\n\r\nдве\r\nстроки\r\n", L"ВЫЗОВ: K1, две, строки"},
        {L"ВЫЗОВ", L"K1\n74951234567\r", L"ВЫЗОВ: K1, 74951234567"},
        {L"  ВЫЗОВ\t", L"", L"ВЫЗОВ"},
        {L"", L"K1\r\n", L"K1"},
        {L"", L"", L""},
        {L"Две\r\nстроки", L"\tK1 ", L"Две  строки: K1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.title + L"|" + c.info));
        EXPECT_EQ(c.spoken, PopupSpokenText(c.title, c.info));
    }
}

}  // namespace
