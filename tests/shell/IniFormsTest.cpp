#include "IniEncoding.h"
#include "IniValues.h"

#include <gtest/gtest.h>

TEST(IniValues, IntegersAreDecimalOrPrefixedHexadecimal) {
    const std::pair<std::wstring, std::optional<int>> cases[] = {
        {L"0", 0},
        {L"42", 42},
        {L"-5", -5},
        {L"+7", 7},
        {L"0x2", 2},
        {L"0X1f", 31},
        {L"$FF", 255},
        {L"-0x10", -16},
        {L"0x7FFFFFFF", 2147483647},
        {L"$ffffffff", -1},
        {L"0x00000000000A", 10},
        {L"2147483647", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"2147483648", std::nullopt},
        {L"-2147483649", std::nullopt},
        {L"99999999999999999999999", std::nullopt},
        {L"0x100000000", std::nullopt},
        {L"abc", std::nullopt},
        {L"", std::nullopt},
        {L"-", std::nullopt},
        {L"0x", std::nullopt},
        {L"$", std::nullopt},
        {L"0xg", std::nullopt},
        {L"1 2", std::nullopt},
        {L"12abc", std::nullopt},
        {L"1.5", std::nullopt},
        {L"\x0661", std::nullopt},  // an Arabic-Indic digit is no decimal digit here
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(expected, ParseIniInteger(text)) << "text of " << text.size();
}

TEST(IniValues, TextIsCutWithoutSplittingASurrogatePair) {
    EXPECT_EQ(std::wstring(2047, L'x'), CapIniText(std::wstring(10000, L'x')));
    EXPECT_EQ(L"short", CapIniText(L"short"));
    std::wstring pairs;
    while (pairs.size() < 3000) pairs += L"\xD83D\xDE00";
    const std::wstring cut = CapIniText(pairs);
    EXPECT_EQ(2046u, cut.size());
    EXPECT_EQ(L'\xDE00', cut.back());
}

TEST(IniValues, LineBreaksCannotStartANewKey) {
    EXPECT_EQ(L"host  DBPort=1 x", OneLineIniValue(std::wstring(L"host\r\nDBPort=1\0x", 16)));
    EXPECT_EQ(L"\"  Шрифт \"", QuotedIniText(L"  Шрифт "));
}

TEST(IniEncoding, FilesAreRecognisedByMarkOrContent) {
    const std::wstring text = L"[Main]\r\nServer=Сервер\r\n";
    std::string utf16le;
    std::string utf16be;
    for (wchar_t c : text) {
        utf16le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    const std::string utf8 = "[Main]\r\nServer=\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB2\xD0\xB5\xD1\x80\r\n";
    const struct {
        std::string bytes;
        TIniEncoding encoding;
    } cases[] = {
        {"\xFF\xFE" + utf16le, TIniEncoding::Utf16Le},
        {utf16le, TIniEncoding::Utf16LeRaw},
        {"\xFE\xFF" + utf16be, TIniEncoding::Utf16Be},
        {utf16be, TIniEncoding::Utf16Be},
        {"\xEF\xBB\xBF" + utf8, TIniEncoding::Utf8},
        {utf8, TIniEncoding::Utf8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.encoding, DetectIniEncoding(c.bytes)) << c.bytes.size() << " bytes";
        EXPECT_EQ(text, DecodeIniBytes(c.bytes)) << c.bytes.size() << " bytes";
    }
    EXPECT_EQ(TIniEncoding::Ansi, DetectIniEncoding("[Main]\r\nServer=\xD1\xE5\xF0\r\n"));  // Windows-1251
    EXPECT_EQ(TIniEncoding::Utf8, DetectIniEncoding(""));
    EXPECT_EQ("\xFF\xFE" + utf16le, EncodeUtf16LeWithBom(text));
}
