// Numbers typed into a search box, read as an operator writes them, against the
// canonical numbers a directory or the journal stores.
#include <gtest/gtest.h>

#include "NumberQuery.h"
#include "TextConvert.h"

#include <string>
#include <vector>

namespace {

const std::vector<std::wstring> kStored = {
    L"74951112233",   // 0: Moscow
    L"78121112233",   // 1: Petersburg, the same local number
    L"74959876543",   // 2: Moscow
    L"442071234567",  // 3: London
    L"71112233000",   // 4: 1112233 inside
    L"749591112233",  // 5: a "9" kept when the city-line prefix stays on incoming calls
};

TDiallingSettings CityLinePrefix(bool forIncoming) {
    TDiallingSettings dialling;
    dialling.FCityPrefixes = {L"9"};
    dialling.FUseCityPrefixForIncoming = forIncoming;
    return dialling;
}
TDiallingSettings NoCountryCode() {
    TDiallingSettings dialling;
    dialling.FDefaultCountryCode.clear();
    return dialling;
}
TDiallingSettings LongDistanceOnlyZero() {
    TDiallingSettings dialling;
    dialling.FCountryPrefixes = {L"0"};
    return dialling;
}
TDiallingSettings EmptyLongDistanceEntryFirst() {
    TDiallingSettings dialling;
    dialling.FCountryPrefixes = {L"", L"8"};
    return dialling;
}

struct QueryCase {
    std::wstring typed;
    TDiallingSettings dialling;
    std::vector<size_t> found;  // indices into kStored
};

const QueryCase kCases[] = {
    // Whole numbers as they are written.
    {L"8 (495) 111-22-33", {}, {0}},
    {L"+7 495 111 22 33", {}, {0}},
    {L"+7(495)111-22-33", {}, {0}},
    {L"74951112233", {}, {0}},
    {L"(495) 111-22-33", {}, {0}},
    {L"8-812-111-22-33", {}, {1}},
    {L"8 10 44 20 7123 4567", {}, {3}},
    {L"00 44 20 7123 4567", {}, {3}},
    // A local number finds it in every city, and wherever the digits stand.
    {L"111-22-33", {}, {0, 1, 4, 5}},
    {L"1112233", {}, {0, 1, 4, 5}},
    // The beginning of a number, behind an access prefix.
    {L"8 (495)", {}, {0, 2, 5}},
    {L"8 495 98", {}, {2}},
    {L"8 (812", {}, {1}},
    {L"810 44", {}, {3}},
    {L"00 44 20", {}, {3}},
    {L"+7 (495) 98", {}, {2}},
    // A lone prefix says nothing yet: only its digits are looked for.
    {L"8", {}, {1, 2}},
    {L"810", {}, {}},
    // The dialling settings apply.
    {L"9 8 495 111 22 33", CityLinePrefix(true), {0}},
    {L"9 8 (495)", CityLinePrefix(true), {0, 2, 5}},
    {L"9 111-22-33", CityLinePrefix(false), {5}},
    {L"8 (495) 111-22-33", NoCountryCode(), {}},
    {L"8 (495)", NoCountryCode(), {}},
    {L"8 (495)", LongDistanceOnlyZero(), {}},
    {L"0 (495)", LongDistanceOnlyZero(), {0, 2, 5}},
    {L"8 (495)", EmptyLongDistanceEntryFirst(), {}},
    // No digits: not a number.
    {L"", {}, {}},
    {L"Иванов", {}, {}},
    {L" - ( ) + ", {}, {}},
};

TEST(NumberQueryTest, TypedNumbersFindTheStoredCanonicalNumbers) {
    for (const QueryCase& c : kCases) {
        SCOPED_TRACE(WideToUtf8(c.typed));
        const TNumberQuery query = ReadNumberQuery(c.typed, c.dialling);
        std::vector<size_t> found;
        for (size_t i = 0; i < kStored.size(); ++i)
            if (query.Matches(kStored[i])) found.push_back(i);
        EXPECT_EQ(c.found, found);
    }
}

TEST(NumberQueryTest, OnlyTextWithDigitsAsksAnythingOfTheNumbers) {
    EXPECT_TRUE(ReadNumberQuery(L"", {}).Empty());
    EXPECT_TRUE(ReadNumberQuery(L"Иванов (бухгалтерия)", {}).Empty());
    EXPECT_TRUE(ReadNumberQuery(L"+ - ", {}).Empty());
    EXPECT_FALSE(ReadNumberQuery(L"Иванов 2", {}).Empty());
    EXPECT_FALSE(ReadNumberQuery(L"٣", {}).Matches(L"3")) << "only ASCII digits are digits of a number";
}

}  // namespace
