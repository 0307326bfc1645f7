// The journal's CSV file: fields, the whole file, and the file read back as a
// spreadsheet program reads it.
#include "JournalCsv.h"
#include "TextConvert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A reader as spreadsheets read ";" files: quoted fields may hold ";", quotes
// (doubled) and line breaks.
std::vector<std::vector<std::wstring>> ReadCsv(const std::wstring& text) {
    std::vector<std::vector<std::wstring>> rows(1);
    std::wstring field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quoted) {
            if (c == L'"' && i + 1 < text.size() && text[i + 1] == L'"') {
                field += L'"';
                ++i;
            } else if (c == L'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == L'"') {
            quoted = true;
        } else if (c == L';') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    if (!rows.back().empty() || !field.empty()) rows.back().push_back(field);
    else rows.pop_back();
    return rows;
}

TEST(JournalCsv, FieldsAreQuotedOnlyWhereNeededAndFormulasAreDisarmed) {
    const struct {
        const wchar_t* value;
        const wchar_t* field;
    } cases[] = {
        {L"", L""},
        {L"Иванов Пётр", L"Иванов Пётр"},
        {L"74951234567", L"74951234567"},
        {L"а;б", L"\"а;б\""},
        {L"ООО \"Ёлка\"", L"\"ООО \"\"Ёлка\"\"\""},
        {L"две\r\nстроки", L"\"две\r\nстроки\""},
        {L" пробел ", L"\" пробел \""},
        {L"=HYPERLINK(\"http://x\")", L"\"'=HYPERLINK(\"\"http://x\"\")\""},
        {L"+7 495", L"'+7 495"},
        {L"-1", L"'-1"},
        {L"@SUM(A1)", L"'@SUM(A1)"},
        {L"\tTAB", L"'\tTAB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.value));
        EXPECT_EQ(std::wstring(c.field), CsvField(c.value));
    }
}

TEST(JournalCsv, TheFileReadsBackWithItsHeaderEveryFieldAndCyrillicIntact) {
    TCallRecord first;
    first.StartTime = 1000;
    first.Channel = L"Приёмная";
    first.Caller = {L"74951234567", L"Иванов; Пётр \"Ёж\" 😀", L"Москва", {}};
    first.Outcome = TCallOutcome::Answered;
    first.DurationSeconds = 3725;
    first.Note = L"Перезвонить\r\nзавтра";
    TCallRecord second;
    second.StartTime = 2000;
    second.Channel = L"K2";
    second.Outcome = TCallOutcome::Missed;
    second.Caller.Name = L"=cmd|' /C calc'!A0";
    const TJournalCsvTexts texts{
        {L"Время", L"Канал", L"Номер", L"Имя", L"Регион", L"Результат", L"Длительность", L"Заметка"},
        {L"Отвечен", L"Пропущен", L"Без разговора", L"Прерван"}};
    const std::string file = JournalCsv({&first, &second}, texts, [](int64_t ms) { return L"t" + std::to_wstring(ms); });
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ("\xEF\xBB\xBF", file.substr(0, 3)) << "UTF-8 with its byte-order mark";
    EXPECT_NE(std::string::npos, file.find("\r\n"));
    const std::vector<std::vector<std::wstring>> rows = ReadCsv(Utf8ToWide(file.substr(3)));
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ(texts.Headers, rows[0]);
    EXPECT_EQ((std::vector<std::wstring>{L"t1000", L"Приёмная", L"74951234567", L"Иванов; Пётр \"Ёж\" 😀", L"Москва",
                                         L"Отвечен", L"1:02:05", L"Перезвонить\r\nзавтра"}),
              rows[1]);
    EXPECT_EQ((std::vector<std::wstring>{L"t2000", L"K2", L"", L"'=cmd|' /C calc'!A0", L"", L"Пропущен", L"", L""}),
              rows[2]);
}

TEST(JournalCsv, DatesFollowTheUsersOwnFormat) {
    // 2026-03-04 12:00 UTC: whatever the format, the year and the day are in it.
    const std::wstring text = UserDateTimeText(1772625600000LL);
    EXPECT_NE(std::wstring::npos, text.find(L"26")) << WideToUtf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"4")) << WideToUtf8(text);
    EXPECT_EQ(UserDateTimeText(1772625600000LL), text);
}

}  // namespace
