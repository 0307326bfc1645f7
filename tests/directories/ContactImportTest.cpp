// Reading contacts from CSV and vCard files and the preview of what an import
// would store: no table is touched here.
#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "ContactImport.h"
#include "DirectoryTestSupport.h"
#include "ImportColumnChoice.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    std::string bytes;
    for (const wchar_t c : text) {
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

std::vector<std::vector<std::wstring>> FieldsOf(const std::vector<CsvRecord>& records) {
    std::vector<std::vector<std::wstring>> fields;
    for (const CsvRecord& record : records) fields.push_back(record.Fields());
    return fields;
}

std::vector<int> LinesOf(const std::vector<CsvRecord>& records) {
    std::vector<int> lines;
    for (const CsvRecord& record : records) lines.push_back(record.line);
    return lines;
}

}  // namespace

TEST(ContactImportText, EncodingIsDetected) {
    struct Case {
        const char* what;
        std::string bytes;
        TextEncoding encoding;
        std::wstring text;
    };
    const Case cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + Utf8(L"Иванов;1"), TextEncoding::Utf8Bom, L"Иванов;1"},
        {"UTF-8 without BOM", Utf8(L"Пётр Ёлкин;2"), TextEncoding::Utf8, L"Пётр Ёлкин;2"},
        {"Windows-1251", "\xC8\xE2\xE0\xED\xEE\xE2;\xB8\xEB\xEA\xE0", TextEncoding::Windows1251, L"Иванов;ёлка"},
        // One Cyrillic letter of 1251 after ASCII: not valid UTF-8.
        {"1251 that starts like ASCII", "abc \xE0", TextEncoding::Windows1251, L"abc а"},
        {"plain ASCII", "74951234567;Ivanov", TextEncoding::Utf8, L"74951234567;Ivanov"},
        {"UTF-16 with BOM", std::string("\xFF\xFE\x18\x04\x32\x04", 6), TextEncoding::Utf16Le, L"Ив"},
        {"empty", "", TextEncoding::Utf8, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedText decoded = DecodeImportText(c.bytes);
        EXPECT_EQ(c.encoding, decoded.encoding);
        EXPECT_EQ(c.text, decoded.text);
    }
    EXPECT_THROW(DecodeImportText(std::string("MZ\x90\0\x03\0\0\0", 8)), ContactImportError);
}

TEST(ContactImportText, SeparatorIsDetected) {
    const std::pair<std::wstring, wchar_t> cases[] = {
        {L"74951234567;Иванов;друг\r\n74951234568;Петров;\r\n", L';'},
        {L"74951234567,Иванов,друг\n74951234568,Петров,\n", L','},
        {L"74951234567\tИванов\tдруг\n74951234568\tПетров\t\n", L'\t'},
        // Commas inside quoted names do not win over the real separator.
        {L"74951234567;\"Иванов, Иван\";a\n74951234568;\"Петров, Пётр, Ильич\";b\n", L';'},
        {L"\"Иванов; Иван\",74951234567\n\"Петров; Пётр\",74951234568\n", L','},
        // Names with commas in an unquoted ';' file: ';' splits every line alike.
        {L"Иванов, Иван;74951234567\nПетров;74951234568\n", L';'},
        {L"74951234567\n74951234568\n", L';'},
    };
    for (const auto& [text, separator] : cases) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(separator, DetectCsvSeparator(text));
    }
}

TEST(ContactImportText, CsvQuotingAndLineEnds) {
    struct Case {
        const char* what;
        std::wstring text;
        std::vector<std::vector<std::wstring>> fields;
        std::vector<int> lines;
    };
    const Case cases[] = {
        {"doubled quotes", L"1;\"Ресторан \"\"Уют\"\"\";x", {{L"1", L"Ресторан \"Уют\"", L"x"}}, {1}},
        {"separator inside quotes", L"1;\"a;b\";c\n2;d;e", {{L"1", L"a;b", L"c"}, {L"2", L"d", L"e"}}, {1, 2}},
        {"line breaks inside quotes count as lines",
         L"1;\"первая\r\nвторая\nтретья\";c\r\n2;d;e",
         {{L"1", L"первая\r\nвторая\nтретья", L"c"}, {L"2", L"d", L"e"}},
         {1, 4}},
        {"mixed line ends", L"1;a\r\n2;b\n3;c\r4;d", {{L"1", L"a"}, {L"2", L"b"}, {L"3", L"c"}, {L"4", L"d"}}, {1, 2, 3, 4}},
        {"blank lines skipped, numbering kept", L"\n1;a\n\r\n\n2;b\n", {{L"1", L"a"}, {L"2", L"b"}}, {2, 5}},
        {"unquoted fields trimmed, quoted kept", L" 1 ; a b ;\" c \"", {{L"1", L"a b", L" c "}}, {1}},
        {"empty fields", L";;\n", {{L"", L"", L""}}, {1}},
        {"text after a closing quote kept", L"\"ab\"cd;e", {{L"abcd", L"e"}}, {1}},
        {"a quote inside an unquoted field is a character", L"1;Дом 5\"А\";x", {{L"1", L"Дом 5\"А\"", L"x"}}, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<CsvRecord> records = ParseCsv(c.text, L';');
        EXPECT_EQ(c.fields, FieldsOf(records));
        EXPECT_EQ(c.lines, LinesOf(records));
    }
}

TEST(ContactImportText, AnUnclosedQuoteBreaksOnlyItsLine) {
    const std::vector<CsvRecord> records = ParseCsv(L"1;a\n2;\"Иванов;x\n3;b\r\n4;\"c\"", L';');
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), LinesOf(records));
    EXPECT_TRUE(records[1].brokenQuote);
    EXPECT_EQ((std::vector<std::wstring>{L"3", L"b"}), records[2].Fields());
    EXPECT_FALSE(records[3].brokenQuote);
    EXPECT_EQ(L"c", records[3][1]);

    // Open to the end of the file, or closed by the next quoted field lines later.
    for (const std::wstring tail : {L"", L"74951234570;\"Кузнецов\"\n"}) {
        const ImportSource source =
            ReadImportFile(Utf8(L"74951234567;Иванов\n74951234568;\"Петров\n74951234569;Сидоров\n" + tail));
        ASSERT_EQ(tail.empty() ? 3u : 4u, source.contacts.size());
        EXPECT_EQ(L"кавычка не закрыта", source.contacts[1].error);
        EXPECT_EQ(3, source.contacts[2].line);
        EXPECT_EQ(L"Сидоров", source.contacts[2].name);
        if (!tail.empty()) {
            EXPECT_EQ(L"Кузнецов", source.contacts[3].name);
        }
    }
}

TEST(ContactImportText, HeaderAndColumnsAreFound) {
    struct Case {
        const char* what;
        std::wstring text;
        bool header;
        int number, name, comment;
    };
    const Case cases[] = {
        {"Russian header, any order", L"Имя;Примечание;Телефон\nИванов;друг;84951234567\n", true, 2, 0, 1},
        {"English header", L"Name,Phone,Note\nIvanov,+7 495 123 45 67,x\n", true, 1, 0, 2},
        {"no header, number first", L"84951234567;Иванов;друг\n84951234568;Петров;\n", false, 0, 1, 2},
        {"no header, number in the middle", L"Иванов;8 (495) 123-45-67;друг\nПетров;84951234568;\n", false, 1, 0, 2},
        {"unknown header words above numbers", L"Кто;Куда\nИванов;84951234567\n", true, 1, 0, -1},
        {"the export's own header", L"Номер;Имя;Комментарий\r\n74951234567;Иванов;\r\n", true, 0, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportSource source = ReadImportFile(Utf8(c.text));
        EXPECT_EQ(c.header, source.hasHeader);
        EXPECT_EQ(c.number, source.columns.number);
        EXPECT_EQ(c.name, source.columns.name);
        EXPECT_EQ(c.comment, source.columns.comment);
        ASSERT_FALSE(source.contacts.empty());
        EXPECT_EQ(c.header ? 2 : 1, source.contacts[0].line);
    }
    // Columns the user chose win over the guess.
    const CsvColumns chosen{2, 1, -1};
    const ImportSource source = ReadImportFile(Utf8(L"друг;Иванов;84951234567\n"), &chosen);
    ASSERT_EQ(1u, source.contacts.size());
    EXPECT_EQ(L"84951234567", source.contacts[0].number);
    EXPECT_EQ(L"Иванов", source.contacts[0].name);
    EXPECT_EQ(L"", source.contacts[0].comment);
}

TEST(ContactImportNumbers, WrittenNumbersBecomeOneKey) {
    const TDiallingSettings defaults;
    TDiallingSettings officeExchange;
    officeExchange.FCityPrefixes = {L"9"};
    TDiallingSettings noCodes;
    noCodes.FDefaultCountryCode.clear();
    struct Case {
        const wchar_t* written;
        const TDiallingSettings& settings;
        const wchar_t* number;  // nullptr: refused
    };
    const Case cases[] = {
        {L"8 (495) 123-45-67", defaults, L"74951234567"},
        {L"+7 495 123 45 67", defaults, L"74951234567"},
        {L"+7(495)123.45.67", defaults, L"74951234567"},
        {L"74951234567", defaults, L"74951234567"},
        {L"(495) 123\u00A045\u201267", defaults, L"74951234567"},
        {L"123-45-67", defaults, L"74951234567"},
        {L"8 812 123-45-67", defaults, L"78121234567"},
        {L"810 44 1234 567890", defaults, L"441234567890"},
        {L"9 123-45-67", officeExchange, L"74951234567"},
        {L"8 (495) 123-45-67", noCodes, L"84951234567"},
        {L"12-34", defaults, L"1234"},
        {L"8 800 ABC-45-67", defaults, nullptr},
        {L"8 495 123-45-67 доб. 12", defaults, nullptr},
        {L"*100#", defaults, nullptr},
        {L"7 495+1234567", defaults, nullptr},
        {L"++74951234567", defaults, nullptr},
        {L"", defaults, nullptr},
        {L" - ", defaults, nullptr},
        {L"+", defaults, nullptr},
        {L"+12345678901234567", defaults, nullptr},  // longer than the key field
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.written)));
        std::wstring number, reason;
        const bool accepted = NormalizeImportedNumber(c.written, c.settings, number, reason);
        EXPECT_EQ(c.number != nullptr, accepted) << testing::PrintToString(reason);
        if (c.number && accepted) {
            EXPECT_EQ(c.number, number);
        }
        if (!c.number) {
            EXPECT_FALSE(reason.empty());
        }
    }
}

TEST(ContactImportVCard, CardsGiveOneContactPerPhone) {
    const std::wstring text =
        L"BEGIN:VCARD\r\n"
        L"VERSION:3.0\r\n"
        L"N:Иванов;Иван;Иванович;;\r\n"
        L"FN:Иванов Иван\\, старший\r\n"
        L"TEL;TYPE=WORK,VOICE:+7 495 123-45-67\r\n"
        L"item1.TEL;type=CELL:8 (916) 000-00-01\r\n"
        L"NOTE:Первая строка\\nвторая\\; с точкой\r\n"
        L"  с запятой\\, и \\\\\r\n"
        L"END:VCARD\r\n"
        L"BEGIN:VCARD\n"
        L"VERSION:4.0\n"
        L"N:Петров;Пётр;;;\n"
        L"TEL;VALUE=uri;TYPE=\"voice,home\":tel:+7-495-765-43-21;ext=5\n"
        L"END:VCARD\n"
        L"BEGIN:VCARD\n"
        L"VERSION:2.1\n"
        L"FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=A1=D0=B8=D0=B4=D0=BE=\n"
        L"=D1=80=D0=BE=D0=B2\n"
        L"TEL;CELL:84951112233\n"
        L"END:VCARD\n"
        L"BEGIN:VCARD\n"
        L"FN:Без номера\n"
        L"END:VCARD\n"
        L"BEGIN:VCARD\n"
        L"FN:Оборванная\n"
        L"TEL:84950000000\n";
    ASSERT_TRUE(LooksLikeVCard(text));
    const std::vector<ImportedContact> contacts = ParseVCards(text);
    struct Expected {
        int line;
        std::wstring number, name, comment;
        bool error;
    };
    const Expected expected[] = {
        {5, L"+7 495 123-45-67", L"Иванов Иван, старший", L"Первая строка\r\nвторая; с точкой с запятой, и \\", false},
        {6, L"8 (916) 000-00-01", L"Иванов Иван, старший", L"Первая строка\r\nвторая; с точкой с запятой, и \\", false},
        {13, L"+7-495-765-43-21", L"Петров Пётр", L"", false},
        {19, L"84951112233", L"Сидоров", L"", false},
        {21, L"", L"Без номера", L"", true},
        {24, L"", L"", L"", true},
    };
    ASSERT_EQ(std::size(expected), contacts.size());
    for (size_t i = 0; i < contacts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].line, contacts[i].line);
        EXPECT_EQ(expected[i].number, contacts[i].number);
        EXPECT_EQ(expected[i].name, contacts[i].name);
        EXPECT_EQ(expected[i].comment, contacts[i].comment);
        EXPECT_EQ(expected[i].error, !contacts[i].error.empty());
    }
    // Read as a file, the vCard is recognised behind a BOM.
    const ImportSource source = ReadImportFile("\xEF\xBB\xBF" + Utf8(text));
    EXPECT_TRUE(source.vcard);
    EXPECT_EQ(contacts.size(), source.contacts.size());
}

TEST(ContactImportPreview, CountsAndRowsAsTheyWillBeStored) {
    const DirectorySnapshot directory{
        {L"74951111111", {L"Старое имя", L"старый комментарий"}},
        {L"74952222222", {L"Без изменений", L"как было"}},
        {L"74953333333", {L"Имя остаётся", L""}},
    };
    const std::wstring longName(70, L'Ж');
    const std::vector<ImportedContact> contacts = {
        {2, L"8 (495) 111-11-11", L"Новое имя", L"", L""},          // changed name, comment kept
        {3, L"+7 495 222 22 22", L"Без изменений", L"как было", L""}, // unchanged
        {4, L"8 495 ABC", L"Буквы", L"", L""},                      // rejected
        {5, L"84954444444", L"Первый", L"", L""},                   // superseded by line 7
        {6, L"84955555555", longName, L"", L""},                    // new, name cut
        {7, L"+74954444444", L"Второй", L"позже", L""},             // new, wins over line 5
        {8, L"84956666666", L"", L"без имени", L""},                // rejected: new without a name
        {9, L"84953333333", L"", L"новый комментарий", L""},        // changed comment, stored name kept
        {10, L"", L"", L"", L"кавычка не закрыта"},                 // rejected by the reader
    };
    struct Case {
        bool replaceNames;
        std::wstring firstName;
        size_t changed, unchanged;
    };
    for (const Case& c : {Case{true, L"Новое имя", 2, 1}, Case{false, L"Старое имя", 1, 2}}) {
        SCOPED_TRACE(c.replaceNames);
        ImportOptions options;
        options.replaceNames = c.replaceNames;
        const ImportPreview preview = BuildImportPreview(contacts, directory, options);
        EXPECT_EQ(2u, preview.newCount);
        EXPECT_EQ(c.changed, preview.changedCount);
        EXPECT_EQ(c.unchanged, preview.unchangedCount);
        EXPECT_EQ(3u, preview.rejectedCount);
        EXPECT_EQ(1u, preview.duplicateCount);
        EXPECT_EQ(1u, preview.namesCut);

        ASSERT_EQ(3u, preview.rejected.size());
        EXPECT_EQ(4, preview.rejected[0].line);
        EXPECT_NE(std::wstring::npos, preview.rejected[0].reason.find(L"буквы"));
        EXPECT_EQ(8, preview.rejected[1].line);
        EXPECT_EQ(10, preview.rejected[2].line);
        ASSERT_EQ(1u, preview.duplicates.size());
        EXPECT_EQ(5, preview.duplicates[0].line);
        EXPECT_EQ(7, preview.duplicates[0].keptLine);
        EXPECT_EQ(L"74954444444", preview.duplicates[0].phone);

        ASSERT_EQ(5u, preview.rows.size());
        EXPECT_EQ(L"74951111111", preview.rows[0].phone);
        EXPECT_EQ(c.firstName, preview.rows[0].name);
        EXPECT_EQ(L"старый комментарий", preview.rows[0].comment);
        EXPECT_EQ(c.replaceNames ? ImportStatus::Changed : ImportStatus::Unchanged, preview.rows[0].status);
        EXPECT_EQ(L"Второй", preview.rows[2].name);
        EXPECT_EQ(L"позже", preview.rows[2].comment);
        EXPECT_EQ(7, preview.rows[2].line);
        EXPECT_EQ(std::wstring(64, L'Ж'), preview.rows[3].name);
        EXPECT_TRUE(preview.rows[3].nameCut);
        EXPECT_EQ(L"Имя остаётся", preview.rows[4].name);
        EXPECT_EQ(L"новый комментарий", preview.rows[4].comment);
        EXPECT_EQ(ImportStatus::Changed, preview.rows[4].status);
    }
}

TEST(ContactImportBadInput, NeverCrashesAndSaysWhy) {
    struct Case {
        const char* what;
        std::string bytes;
        size_t accepted, rejected;
    };
    std::string huge;
    huge.reserve(30'000'000);
    for (int i = 0; i < 1'000'000; ++i) huge += (i % 2 ? "\"x;;\"\"\r" : "8495;a;b\n");
    std::string noise;
    for (int i = 0; i < 200'000; ++i) noise += static_cast<char>(1 + (i * 7919) % 255);
    const Case cases[] = {
        {"empty", "", 0, 0},
        {"only line ends", "\r\n\n\r", 0, 0},
        {"only a BOM", "\xEF\xBB\xBF", 0, 0},
        {"only a quote", "\"", 0, 1},
        {"a million broken lines", huge, 1, 500'000},
        {"noise without NUL", noise, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportSource source;
        ASSERT_NO_THROW(source = ReadImportFile(c.bytes));
        const ImportPreview preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
        if (std::string(c.what) == "noise without NUL") {
            // Whatever the guess made of it, every line is accounted for.
            EXPECT_EQ(source.contacts.size(), preview.rows.size() + preview.rejectedCount + preview.duplicateCount);
            continue;
        }
        EXPECT_EQ(c.accepted, preview.rows.size());
        EXPECT_EQ(c.rejected, preview.rejectedCount);
        EXPECT_LE(preview.rejected.size(), ImportPreview::kMaxDetails);
    }
    EXPECT_THROW(ReadImportFile(std::string("PK\x03\x04\0\0", 6)), ContactImportError);
}

TEST(ContactImportText, NulIsRefusedInEveryEncodingAndUtf16BigEndianIsRead) {
    const std::string bigEndian("\xFE\xFF\x04\x18\x04\x32\x00;\x00""1", 10);
    const DecodedText decoded = DecodeImportText(bigEndian);
    EXPECT_EQ(TextEncoding::Utf16Be, decoded.encoding);
    EXPECT_EQ(L"Ив;1", decoded.text);

    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case withNul[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + Utf8(L"84951234567;Иванов") + std::string("\0x", 2)},
        {"UTF-16LE", std::string("\xFF\xFE\x18\x04\0\0\x32\x04", 8)},
        {"UTF-16BE", std::string("\xFE\xFF\x04\x18\0\0", 6)},
        {"UTF-8 without BOM", std::string("8495;a\0b", 8)},
        {"Windows-1251", std::string("\xC8\xE2;\0", 4)},
    };
    for (const Case& c : withNul) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(DecodeImportText(c.bytes), ContactImportError);
    }

    // A whole CSV file written big-endian, as some editors save "Unicode".
    std::string file = "\xFE\xFF";
    for (const wchar_t c : std::wstring(L"Телефон;Имя\r\n84951234567;Иванов\r\n")) {
        file += static_cast<char>(c >> 8);
        file += static_cast<char>(c & 0xFF);
    }
    const ImportSource source = ReadImportFile(file);
    EXPECT_EQ(TextEncoding::Utf16Be, source.encoding);
    ASSERT_EQ(1u, source.contacts.size());
    EXPECT_EQ(L"84951234567", source.contacts[0].number);
    EXPECT_EQ(L"Иванов", source.contacts[0].name);
}

TEST(ContactImportText, AFirstLineOfMillionsOfColumnsKeepsOnlyTheOffered) {
    std::wstring text = L"Телефон;Имя";
    text.reserve(2'100'000);
    for (int i = 0; i < 1'000'000; ++i) text += L";x";
    text += L"\n84951234567;Иванов;друг\n";
    const ImportSource source = ReadImportFile(Utf8(text));
    ASSERT_EQ(2u, source.records.size());
    EXPECT_EQ(1'000'002u, source.records[0].fieldCount);
    EXPECT_EQ(kMaxImportColumns, source.records[0].size());
    EXPECT_EQ(1'000'002u, source.columnCount);
    EXPECT_EQ(3u, source.records[1].size());
    EXPECT_EQ(0, source.columns.number);
    EXPECT_EQ(1, source.columns.name);
    ASSERT_EQ(1u, source.contacts.size());
    EXPECT_EQ(L"Иванов", source.contacts[0].name);
    // A broken quote on such a line is cut the same way.
    const std::vector<CsvRecord> broken = ParseCsv(L"\"x" + std::wstring(5000, L';'), L';', kMaxImportColumns);
    ASSERT_EQ(1u, broken.size());
    EXPECT_TRUE(broken[0].brokenQuote);
    EXPECT_EQ(5001u, broken[0].fieldCount);
    EXPECT_EQ(kMaxImportColumns, broken[0].size());
}

// Files built to make a reader work once per line over everything before it.
// The bound is so generous that only such a reader misses it; the times
// themselves are ImportBenchmark's.
TEST(ContactImportBadInput, HostileFilesAreReadInLinearTime) {
    constexpr size_t kLines = 2'000'000;
    struct Case {
        const char* what;
        std::string head, line, tail;
    };
    const Case cases[] = {
        {"a note of soft line breaks", "BEGIN:VCARD\r\nFN:x\r\nTEL:84951234567\r\nNOTE:a=\r\n", " a=\r\n",
         "END:VCARD\r\n"},
        {"quoted-printable soft breaks", "BEGIN:VCARD\r\nFN:x\r\nTEL:84951234567\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n",
         "=41=\r\n", "\r\nEND:VCARD\r\n"},
        {"a line folded again and again", "BEGIN:VCARD\r\nFN:x\r\nTEL:84951234567\r\nNOTE:", " ab\r\n", "END:VCARD\r\n"},
        {"quotes that never close", "", "\"x;y\n", ""},
        {"one huge quoted field", "84951234567;\"", "a;b\n", "\";x\n"},
        {"separators only", "", ";;;;;;;;", "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.head;
        bytes.reserve(c.head.size() + c.line.size() * kLines + c.tail.size());
        for (size_t i = 0; i < kLines; ++i) bytes += c.line;
        bytes += c.tail;
        const ULONGLONG start = ::GetTickCount64();
        ImportSource source;
        ASSERT_NO_THROW(source = ReadImportFile(bytes));
        const ImportPreview preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
        EXPECT_LT(::GetTickCount64() - start, 60'000u) << bytes.size() / 1048576 << " MB";
        EXPECT_EQ(source.contacts.size(), preview.rows.size() + preview.rejectedCount + preview.duplicateCount);
    }
}

TEST(ContactImportBadInput, TextsLongerThanAnotherWorkstationCanReadAreRejected) {
    const size_t limit = 512 * 1024;
    const std::wstring fits(limit, L'ж'), tooLong(limit + 1, L'ж');
    const std::vector<ImportedContact> contacts = {
        {2, L"84951111111", L"Длинный", fits, L""},
        {3, L"84952222222", L"Слишком длинный", tooLong, L""},
        {4, L"84953333333", tooLong, L"имя обрезается до ширины", L""},
    };
    const ImportPreview preview = BuildImportPreview(contacts, {}, ImportOptions{});
    ASSERT_EQ(2u, preview.rows.size());
    EXPECT_EQ(L"74951111111", preview.rows[0].phone);
    EXPECT_EQ(1u, preview.rejectedCount);
    ASSERT_EQ(1u, preview.rejected.size());
    EXPECT_EQ(3, preview.rejected[0].line);
    EXPECT_NE(std::wstring::npos, preview.rejected[0].reason.find(L"комментарий длиннее 524288 знаков"))
        << testing::PrintToString(preview.rejected[0].reason);

    // A vCard's note is checked once, not copied to each of its numbers.
    std::wstring card = L"BEGIN:VCARD\r\nFN:Иванов\r\nNOTE:" + tooLong + L"\r\n";
    for (int i = 0; i < 50; ++i) card += L"TEL:8495000000" + std::to_wstring(i % 10) + L"\r\n";
    card += L"END:VCARD\r\n";
    const std::vector<ImportedContact> fromCard = ParseVCards(card);
    ASSERT_EQ(50u, fromCard.size());
    for (const ImportedContact& contact : fromCard) {
        EXPECT_TRUE(contact.comment.empty());
        EXPECT_NE(std::wstring::npos, contact.error.find(L"комментарий длиннее"));
    }
}

namespace {

std::vector<int> AllOf(int first, const std::vector<int>& more) {
    std::vector<int> all;
    if (first >= 0) all.push_back(first);
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

}  // namespace

TEST(ContactImportLayouts, AddressBooksAsPeopleExportThemLandWithEveryNumberUnderTheFullName) {
    struct Row {
        std::wstring phone, name, comment;
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<int> numbers, names, comments;
        int organization;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        {"desktop mail client, Russian, Windows-1251 with a quoted header",
         Windows1251(
             L"\"Обращение\",\"Имя\",\"Отчество\",\"Фамилия\",\"Суффикс\",\"Организация\",\"Отдел\",\"Должность\","
             L"\"Рабочий телефон\",\"Телефон 2 (раб.)\",\"Факс (раб.)\",\"Мобильный телефон\",\"Домашний телефон\","
             L"\"Заметки\"\r\n"
             L"\"\",\"Ольга\",\"Петровна\",\"Лебедева\",\"\",\"ООО Ромашка\",\"\",\"бухгалтер\",\"+7 (495) 111-22-33\","
             L"\"\",\"+7 (495) 111-22-34\",\"+7 916 555-44-33\",\"\",\"звонить до 18\"\r\n"
             L"\"\",\"Иван\",\"\",\"Смирнов\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"8 903 123-45-67\",\"\",\"\"\r\n"
             L"\"\",\"\",\"\",\"\",\"\",\"ЗАО Вектор\",\"\",\"\",\"8 (812) 700-00-01\",\"8 (812) 700-00-01\",\"\",\"\","
             L"\"\",\"\"\r\n"),
         {8, 9, 11, 12},
         {3, 1, 2},
         {7, 13},
         5,
         {{L"74951112233", L"Лебедева Ольга Петровна",
           L"Организация: ООО Ромашка; Должность: бухгалтер; Заметки: звонить до 18"},
          {L"79165554433", L"Лебедева Ольга Петровна",
           L"Организация: ООО Ромашка; Должность: бухгалтер; Заметки: звонить до 18"},
          {L"79031234567", L"Смирнов Иван", L""},
          {L"78127000001", L"ЗАО Вектор", L""}}},
        {"desktop mail client, English",
         Utf8(L"First Name,Middle Name,Last Name,Company,Job Title,Business Phone,Business Phone 2,Mobile Phone,"
              L"Home Phone,Business Fax,Notes\r\n"
              L"John,,Smith,Acme Ltd,Manager,+1 212 555 0100,,+1 917 555 0199,,+1 212 555 0101,\r\n"),
         {5, 6, 7, 8},
         {0, 1, 2},
         {4, 10},
         3,
         {{L"12125550100", L"John Smith", L"Company: Acme Ltd; Job Title: Manager"},
          {L"19175550199", L"John Smith", L"Company: Acme Ltd; Job Title: Manager"}}},
        {"web mail, UTF-8 with numbered phone pairs",
         Utf8(L"Name,Given Name,Additional Name,Family Name,Organization 1 - Name,Organization 1 - Title,Notes,"
              L"Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,Phone 2 - Value\n"
              L"Ольга Лебедева,Ольга,,Лебедева,,,,Mobile,+7 916 555-44-33,Work,+7 495 111-22-33 ::: +7 495 111-22-35\n"
              L"Пётр Ким,Пётр,,Ким,Вектор,инженер,,Work,8 (812) 700-00-02,,\n"),
         {8, 10},
         {1, 2, 3},
         {5, 6},
         4,
         {{L"79165554433", L"Ольга Лебедева", L""},
          {L"74951112233", L"Ольга Лебедева", L""},
          {L"74951112235", L"Ольга Лебедева", L""},
          {L"78127000002", L"Пётр Ким", L"Organization 1 - Name: Вектор; Organization 1 - Title: инженер"}}},
        {"CRM export with ';'",
         "\xEF\xBB\xBF" +
             Utf8(L"\"ID\";\"Имя\";\"Фамилия\";\"Отчество\";\"Компания\";\"Должность\";\"Рабочий телефон\";"
                  L"\"Мобильный телефон\";\"Комментарий\"\r\n"
                  L"\"17\";\"Анна\";\"Сидорова\";\"\";\"ИП Сидорова\";\"\";\"8 495 222-33-44\";\"8 495 222-33-44\";\"VIP\"\r\n"
                  L"\"18\";\"Борис\";\"Орлов\";\"Ильич\";\"\";\"\";\"нет\";\"+7 926 000-11-22\";\"\"\r\n"),
         {6, 7},
         {2, 1, 3},
         {5, 8},
         4,
         {{L"74952223344", L"Сидорова Анна", L"Компания: ИП Сидорова; Комментарий: VIP"},
          {L"79260001122", L"Орлов Борис Ильич", L""}}},
        {"vCard with several numbers",
         Utf8(L"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Лебедева;Ольга;;;\r\nFN:Ольга Лебедева\r\nORG:ООО Ромашка;Бухгалтерия\r\n"
              L"TEL;TYPE=WORK:+7 495 111-22-33\r\nTEL;TYPE=CELL:+7 916 555-44-33\r\nTEL;TYPE=HOME:8 916 555-44-33\r\n"
              L"END:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nORG:ЗАО Вектор\r\nTEL:8 812 700-00-01\r\nEND:VCARD\r\n"),
         {},
         {},
         {},
         -1,
         {{L"74951112233", L"Ольга Лебедева", L"ООО Ромашка"},
          {L"79165554433", L"Ольга Лебедева", L"ООО Ромашка"},
          {L"78127000001", L"ЗАО Вектор", L""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportSource source = ReadImportFile(c.bytes);
        if (!source.vcard) {
            EXPECT_EQ(c.numbers, AllOf(source.columns.number, source.columns.moreNumbers));
            EXPECT_EQ(c.names, AllOf(source.columns.name, source.columns.moreNames));
            EXPECT_EQ(c.comments, AllOf(source.columns.comment, source.columns.moreComments));
            EXPECT_EQ(c.organization, source.columns.organization);
        }
        const ImportPreview preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
        std::vector<std::wstring> landed, expected;
        for (const ImportRow& row : preview.rows) landed.push_back(row.phone + L"|" + row.name.str() + L"|" + row.comment.str());
        for (const Row& row : c.rows) expected.push_back(row.phone + L"|" + row.name + L"|" + row.comment);
        EXPECT_EQ(expected, landed);
        EXPECT_EQ(c.rows.size(), preview.newCount);
        EXPECT_EQ(0u, preview.duplicateCount) << "a contact's own number given twice counts once";
        const bool badNumber = std::string(c.what) == "CRM export with ';'";
        EXPECT_EQ(badNumber ? 1u : 0u, preview.rejectedCount) << "only the number that is none is rejected";
    }
}

namespace {

// An offer as "column:title:sample" with "+" in front when it is chosen.
std::vector<std::wstring> OfferTexts(const std::vector<ColumnOffer>& offers) {
    std::vector<std::wstring> texts;
    for (const ColumnOffer& offer : offers)
        texts.push_back((offer.chosen ? L"+" : L"") + std::to_wstring(offer.column) + L":" + offer.title + L":" +
                        offer.sample);
    return texts;
}

std::vector<int> ChosenOf(const std::vector<ColumnOffer>& offers) {
    std::vector<int> chosen;
    for (const ColumnOffer& offer : offers)
        if (offer.chosen) chosen.push_back(offer.column);
    return chosen;
}

}  // namespace

TEST(ContactImportChoice, EveryColumnIsOfferedWithTheChosenOnesFirstInTheOrderTheyAreJoined) {
    const ImportSource source = ReadImportFile(Windows1251(
        L"\"Имя\",\"Отчество\",\"Фамилия\",\"Организация\",\"Должность\",\"Рабочий телефон\",\"Мобильный телефон\","
        L"\"Заметки\"\r\n"
        L"\"Ольга\",\"\",\"Лебедева\",\"ООО Ромашка\",\"бухгалтер\",\"8 495 111-22-33\",\"\",\"две\r\nстроки\"\r\n"
        L"\"Иван\",\"Петрович\",\"Смирнов\",\"\",\"\",\"\",\"8 903 123-45-67\",\"\"\r\n"));
    ASSERT_TRUE(source.hasHeader);
    struct Case {
        ImportPart part;
        std::vector<std::wstring> offers;
    };
    const Case cases[] = {
        {ImportPart::Number,
         {L"+5:Рабочий телефон:8 495 111-22-33", L"+6:Мобильный телефон:8 903 123-45-67", L"0:Имя:Ольга",
          L"1:Отчество:Петрович", L"2:Фамилия:Лебедева", L"3:Организация:ООО Ромашка", L"4:Должность:бухгалтер",
          L"7:Заметки:две  строки"}},
        // "Фамилия Имя Отчество", whatever order the file has them in.
        {ImportPart::Name,
         {L"+2:Фамилия:Лебедева", L"+0:Имя:Ольга", L"+1:Отчество:Петрович", L"3:Организация:ООО Ромашка",
          L"4:Должность:бухгалтер", L"5:Рабочий телефон:8 495 111-22-33", L"6:Мобильный телефон:8 903 123-45-67",
          L"7:Заметки:две  строки"}},
        {ImportPart::Comment,
         {L"+4:Должность:бухгалтер", L"+7:Заметки:две  строки", L"0:Имя:Ольга", L"1:Отчество:Петрович",
          L"2:Фамилия:Лебедева", L"3:Организация:ООО Ромашка", L"5:Рабочий телефон:8 495 111-22-33",
          L"6:Мобильный телефон:8 903 123-45-67"}},
        {ImportPart::Organization,
         {L"0:Имя:Ольга", L"1:Отчество:Петрович", L"2:Фамилия:Лебедева", L"+3:Организация:ООО Ромашка",
          L"4:Должность:бухгалтер", L"5:Рабочий телефон:8 495 111-22-33", L"6:Мобильный телефон:8 903 123-45-67",
          L"7:Заметки:две  строки"}},
    };
    std::vector<int> chosen[4];
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.part));
        const std::vector<ColumnOffer> offers = OfferedColumns(source.records, true, source.columns, c.part);
        EXPECT_EQ(c.offers, OfferTexts(offers));
        chosen[static_cast<int>(c.part)] = ChosenOf(offers);
    }

    // What is shown ticked, read back, is the choice the file was read with.
    const CsvColumns back = ChosenCsvColumns(chosen[0], chosen[1], chosen[2], chosen[3].empty() ? -1 : chosen[3][0]);
    EXPECT_EQ(ContactsFromCsv(source.records, source.columns, true).size(),
              ContactsFromCsv(source.records, back, true).size());
    const auto same = [](const CsvColumns& a, const CsvColumns& b) {
        return a.number == b.number && a.name == b.name && a.comment == b.comment && a.moreNumbers == b.moreNumbers &&
               a.moreNames == b.moreNames && a.moreComments == b.moreComments && a.organization == b.organization;
    };
    EXPECT_TRUE(same(source.columns, back));

    // Ticked in another order, the name is joined in that order; nothing ticked, no column.
    const CsvColumns chosenByHand = ChosenCsvColumns({6}, {0, 2}, {}, -1);
    const std::vector<ImportedContact> contacts = ContactsFromCsv(source.records, chosenByHand, true);
    ASSERT_EQ(2u, contacts.size());
    EXPECT_EQ(L"", contacts[0].number) << "Ольга has no mobile";
    EXPECT_EQ(L"Иван Смирнов", contacts[1].name);
    EXPECT_EQ(L"8 903 123-45-67", contacts[1].number);
    EXPECT_EQ(L"", contacts[1].comment);
    EXPECT_EQ(-1, chosenByHand.comment);
    EXPECT_EQ(-1, chosenByHand.organization);
}

TEST(ContactImportChoice, WithoutAHeaderColumnsAreKnownByTheirFirstTexts) {
    const ImportSource source = ReadImportFile(Utf8(L"84951234567;Иванов;бухгалтерия\n84951234568;Петров\n"));
    ASSERT_FALSE(source.hasHeader);
    EXPECT_EQ((std::vector<std::wstring>{L"+1::Иванов", L"0::84951234567", L"2::бухгалтерия"}),
              OfferTexts(OfferedColumns(source.records, false, source.columns, ImportPart::Name)));
    EXPECT_EQ((std::vector<std::wstring>{L"0::84951234567", L"1::Иванов", L"2::бухгалтерия"}),
              OfferTexts(OfferedColumns(source.records, false, source.columns, ImportPart::Organization)));
    EXPECT_TRUE(OfferedColumns({}, false, source.columns, ImportPart::Number).empty());
}

// Files made to multiply memory: one contact of many numbers with a long
// comment (each number's row once carried its own copy), and rows of nothing
// but separators (each empty field once cost a string). What the read and the
// preview hold at their peak stays within a few times the file's size.
TEST(ContactImportMemory, HostileFilesCostAFewTimesTheirSize) {
    std::wstring numbers;
    for (int i = 0; i < 500; ++i) numbers += (i ? L":::" : L"") + std::to_wstring(74950000000LL + i);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"many numbers in one cell and a long comment",
         Utf8(L"Телефон;Имя;Примечание\n\"" + numbers + L"\";Иванов;" + std::wstring(20000, L'ж') + L"\n")},
        {"rows of separators", [] {
             std::string text;
             while (text.size() < (1u << 20)) text += std::string(99, ';') + "\r\n";
             return text;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AllocationCount::ResetPeak();
        const std::size_t before = AllocationCount::InUse();
        {
            const ImportSource source = ReadImportFile(c.bytes);
            const ImportPreview preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
        }
        const std::size_t peak = AllocationCount::Peak() - before;
        EXPECT_LT(peak, 10 * c.bytes.size()) << peak << " bytes at the peak for a file of " << c.bytes.size();
    }

    // The numbers of one contact share its texts.
    const ImportSource source = ReadImportFile(cases[0].bytes);
    ASSERT_EQ(500u, source.contacts.size());
    const ImportPreview preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
    ASSERT_EQ(500u, preview.rows.size());
    for (const ImportRow& row : preview.rows) {
        EXPECT_TRUE(row.comment.SharesWith(source.contacts[0].comment));
        EXPECT_TRUE(row.fileComment.SharesWith(source.contacts[0].comment));
    }
}
