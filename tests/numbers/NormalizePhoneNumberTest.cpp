// Phone number normalisation: every presented form against its canonical result.
#include <gtest/gtest.h>

#include "KordavinUtils.h"

#include <string>
#include <vector>

namespace {

// The dialling settings, starting from the program's defaults.
using Dialling = TDiallingSettings;

Dialling CityPrefix(std::vector<std::wstring> prefixes, bool forIncoming = true) {
    Dialling d;
    d.FCityPrefixes = std::move(prefixes);
    d.FUseCityPrefixForIncoming = forIncoming;
    return d;
}
Dialling Country(std::wstring country) {
    Dialling d;
    d.FDefaultCountryCode = std::move(country);
    return d;
}
Dialling City(std::wstring city) {
    Dialling d;
    d.FDefaultCityCode = std::move(city);
    return d;
}
Dialling World(std::vector<std::wstring> prefixes) {
    Dialling d;
    d.FWorldPrefixes = std::move(prefixes);
    return d;
}
Dialling LongDistance(std::vector<std::wstring> prefixes) {
    Dialling d;
    d.FCountryPrefixes = std::move(prefixes);
    return d;
}

struct NumberCase {
    const char* name;
    std::wstring presented;
    int kind;
    Dialling dialling;
    std::wstring expected;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << c.name; }

const std::wstring kForty = L"0123456789012345678901234567890123456789";

const NumberCase kCases[] = {
    // Default settings, an incoming call.
    {"Plus_Full", L"+74951234567", 1, {}, L"74951234567"},
    {"Plus_Short", L"+1234", 1, {}, L"1234"},
    {"Full_NoPrefix", L"74951234567", 1, {}, L"74951234567"},
    {"Twelve_NoPrefix", L"123456789012", 1, {}, L"123456789012"},
    {"LongDistance_Moscow", L"84951234567", 1, {}, L"74951234567"},
    {"LongDistance_Petersburg", L"88121234567", 1, {}, L"78121234567"},
    {"National_Moscow", L"4951234567", 1, {}, L"74951234567"},
    {"National_LeadingEightStays", L"8121234567", 1, {}, L"78121234567"},
    {"National_LeadingZeroStays", L"0441234567", 1, {}, L"70441234567"},
    {"Local_Seven", L"1234567", 1, {}, L"74951234567"},
    {"Local_Eight", L"12345678", 1, {}, L"749512345678"},
    {"Local_Nine", L"123456789", 1, {}, L"7495123456789"},
    {"TooShort_Six", L"123456", 1, {}, L"123456"},
    {"TooShort_WithLongDistance", L"8123", 1, {}, L"8123"},
    {"World_810", L"810441234567890", 1, {}, L"441234567890"},
    {"World_00", L"00441234567890", 1, {}, L"441234567890"},
    {"World_TooShortTakenAsLongDistance", L"81044123456", 1, {}, L"71044123456"},
    {"Empty", L"", 1, {}, L""},

    // City-line prefix "9".
    {"CityPrefix_ThenLocal", L"91234567", 1, CityPrefix({L"9"}), L"74951234567"},
    {"CityPrefix_ThenLongDistance", L"984951234567", 1, CityPrefix({L"9"}), L"74951234567"},
    {"CityPrefix_Only", L"9", 1, CityPrefix({L"9"}), L""},
    {"CityPrefix_OffForIncoming", L"91234567", 1, CityPrefix({L"9"}, false), L"749591234567"},
    {"CityPrefix_OutgoingIgnoresIncomingSwitch", L"91234567", 2, CityPrefix({L"9"}, false), L"74951234567"},
    {"CityPrefix_NeitherGroupKeepsIt", L"91234567", 3, CityPrefix({L"9"}), L"749591234567"},
    {"CityPrefix_EmptyEntriesSkipped", L"91234567", 1, CityPrefix({L"", L"9", L""}), L"74951234567"},
    {"CityPrefix_OnlyOneRemoved", L"991234567", 1, CityPrefix({L"9"}), L"749591234567"},
    {"CityPrefix_FirstEntryWins", L"901234567", 1, CityPrefix({L"90", L"9"}), L"74951234567"},
    {"CityPrefix_FirstEntryWinsEvenIfShorter", L"901234567", 1, CityPrefix({L"9", L"90"}), L"01234567"},
    {"CityPrefix_LongerThanNumber", L"9", 1, CityPrefix({L"90"}), L"9"},
    {"CityPrefix_NumberEqualsLongPrefix", L"90", 2, CityPrefix({L"90"}), L""},
    {"CityPrefix_ThenWorld", L"9810441234567890", 1, CityPrefix({L"9"}), L"441234567890"},

    // Outgoing call.
    {"Outgoing_FullGetsCountry", L"74951234567", 2, {}, L"774951234567"},
    {"Outgoing_TwelveGetsCountry", L"123456789012", 2, {}, L"7123456789012"},
    {"Outgoing_ShortLongDistanceStays", L"8121234567", 2, {}, L"8121234567"},
    {"Outgoing_ShortZeroStays", L"0441234567", 2, {}, L"0441234567"},
    {"Outgoing_LongDistance", L"84951234567", 2, {}, L"74951234567"},
    {"Outgoing_Local", L"1234567", 2, {}, L"74951234567"},
    {"Outgoing_Plus", L"+84951234567", 2, {}, L"84951234567"},

    // Call kinds: bit 64 means nothing; 4 and 32 are incoming; anything else is neither.
    {"Kind65_AsIncoming", L"74951234567", 65, {}, L"74951234567"},
    {"Kind66_AsOutgoing", L"74951234567", 66, {}, L"774951234567"},
    {"Kind4_Incoming", L"8121234567", 4, {}, L"78121234567"},
    {"Kind32_Incoming", L"74951234567", 32, {}, L"74951234567"},
    {"Kind96_Incoming", L"74951234567", 96, {}, L"74951234567"},
    {"Kind64_Neither_FullGetsCountry", L"74951234567", 64, {}, L"774951234567"},
    {"Kind0_Neither_ShortLongDistanceStays", L"8121234567", 0, {}, L"8121234567"},
    {"KindNegative_Neither", L"74951234567", -1, {}, L"774951234567"},

    // Empty codes: no code added and no long-distance prefix removed.
    {"NoCountry_LongDistanceStays", L"84951234567", 1, Country(L""), L"84951234567"},
    {"NoCountry_LocalStays", L"1234567", 1, Country(L""), L"1234567"},
    {"NoCountry_WorldRemoved", L"810441234567890", 1, Country(L""), L"441234567890"},
    {"NoCountry_PlusRemoved", L"+74951234567", 1, Country(L""), L"74951234567"},
    {"NoCity_LongDistanceStays", L"84951234567", 1, City(L""), L"84951234567"},
    {"NoCity_LocalStays", L"1234567", 1, City(L""), L"1234567"},
    {"NoCity_WorldRemoved", L"810441234567890", 1, City(L""), L"441234567890"},

    // International prefix.
    {"World_TenFollowingIsNotEnough", L"8104412345678", 1, {}, L"7104412345678"},
    {"World_EmptyEntryEndsFullNumbers", L"84951234567", 1, World({L"", L"810"}), L"84951234567"},
    {"World_EmptyEntryLeavesShortNumbers", L"1234567", 1, World({L""}), L"74951234567"},
    {"World_OnlyFirstRemoved", L"81081044123456789", 1, {}, L"81044123456789"},

    // Long-distance prefix.
    {"LongDistance_EmptyEntryHidesLater", L"84951234567", 1, LongDistance({L"", L"8"}), L"84951234567"},
    {"LongDistance_FirstMatchCounts", L"884951234567", 1, LongDistance({L"8", L"88"}), L"784951234567"},
    {"LongDistance_TwoDigitPrefix", L"884951234567", 1, LongDistance({L"88", L"8"}), L"74951234567"},

    // Characters are never changed or removed; they count towards every length.
    {"Plus_Lone", L"+", 1, {}, L""},
    {"Plus_KeepsLongDistancePrefix", L"+84951234567", 1, {}, L"84951234567"},
    {"Plus_NotFirstStays", L"1+234567", 1, {}, L"74951+234567"},
    {"Plus_Twice", L"++7", 1, {}, L"+7"},
    {"Spaces_Local", L"123 4567", 1, {}, L"7495123 4567"},
    {"Spaces_LongDistance", L"8 495 1234567", 1, {}, L"7 495 1234567"},
    {"Dashes_Full", L"495-123-45-67", 1, {}, L"495-123-45-67"},
    {"Star_ServiceCode", L"*100#", 1, {}, L"*100#"},
    {"Star_LocalLength", L"*123#45", 1, {}, L"7495*123#45"},
    {"Hash_Only", L"#", 1, {}, L"#"},
    {"Forty_Incoming", kForty.substr(1) + L"0", 1, {}, kForty.substr(1) + L"0"},
    {"Forty_LongDistance", kForty, 1, {}, L"7" + kForty.substr(1)},
    {"Cyrillic_Local", L"АБВГДЕЖ", 1, {}, L"7495АБВГДЕЖ"},
    {"Cyrillic_Plus", L"+7АБВ", 1, {}, L"7АБВ"},
    {"Cyrillic_Short", L"Иван", 1, {}, L"Иван"},

    // Settings far from the usual ones never invent a number from nothing.
    {"OddCodes_EmptyStaysEmpty", L"", 1, City(L"4951234567"), L""},
    {"OddCodes_PrefixOnlyStaysEmpty", L"9", 1, [] {
         Dialling d = City(L"4951234567");
         d.FCityPrefixes = {L"9"};
         return d;
     }(), L""},
    {"OddCodes_LongCountry", L"5", 1, Country(L"1234567890123"), L"12345678901235"},
};

class NormalizePhoneNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(NormalizePhoneNumberTest, GivesCanonicalNumber) {
    const NumberCase& c = GetParam();
    const Dialling& d = c.dialling;
    EXPECT_EQ(c.expected,
              NormalizePhoneNumber(c.presented, c.kind, d.FDefaultCountryCode, d.FDefaultCityCode, d.FCityPrefixes,
                                   d.FWorldPrefixes, d.FCountryPrefixes, d.FUseCityPrefixForIncoming));
}

TEST_P(NormalizePhoneNumberTest, GivesTheSameNumberFromTheDiallingSettings) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(c.expected, NormalizePhoneNumber(c.presented, c.kind, c.dialling));
}

INSTANTIATE_TEST_SUITE_P(Cases, NormalizePhoneNumberTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

}  // namespace
