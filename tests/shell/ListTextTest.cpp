#include "ListText.h"

#include <gtest/gtest.h>

#include <random>

using List = std::vector<std::wstring>;

TEST(ListText, ReadsTexts) {
    const std::pair<std::wstring, List> cases[] = {
        {L"", {}},
        {L" \t\r\n", {}},
        {L"810,00", {L"810", L"00"}},
        {L"810, 00", {L"810", L"00"}},
        {L"8 10", {L"8", L"10"}},
        {L"810,,00", {L"810", L"", L"00"}},
        {L"8,", {L"8", L""}},
        {L"8, ", {L"8"}},  // the comma is not the last character
        {L",a", {L"", L"a"}},
        {L",", {L"", L""}},
        {L"\"\"", {L""}},
        {L"\"K 1\"", {L"K 1"}},
        {L"\"K 1\",K2", {L"K 1", L"K2"}},
        {L"\"a\"\"b\",c", {L"a\"b", L"c"}},
        {L"\"\"\"\"", {L"\""}},
        {L"\"open, to the end", {L"open, to the end"}},
        {L"\"a\"b", {L"a", L"b"}},
        {L"  \t8,\r\n0", {L"8", L"0"}},
        {L"a;b", {L"a;b"}},
        {std::wstring(L"a\0,b", 4), {L"a"}},
        {L"Канал 1,К2", {L"Канал", L"1", L"К2"}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(expected, ReadListText(text)) << "text: " << text.size();
}

TEST(ListText, WritesLists) {
    const std::pair<List, std::wstring> cases[] = {
        {{}, L""},
        {{L""}, L"\"\""},
        {{L"810", L"00"}, L"810,00"},
        {{L"a", L""}, L"a,"},
        {{L"", L"a"}, L",a"},
        {{L"", L""}, L","},
        {{L"K 1"}, L"\"K 1\""},
        {{L"K 1", L"K2"}, L"\"K 1\",K2"},
        {{L"a\"b"}, L"\"a\"\"b\""},
        {{L"a,b"}, L"\"a,b\""},
        {{L"a\tb", L"\x1f"}, L"\"a\tb\",\"\x1f\""},
        {{L"Канал№1", L"*#"}, L"Канал№1,*#"},
    };
    for (const auto& [list, expected] : cases) EXPECT_EQ(expected, WriteListText(list));
}

TEST(ListText, EveryListReadsBackAsWritten) {
    std::vector<List> lists = {{}, {L""}, {L"", L""}, {L"a", L"", L""}, {L" "}, {L"\""}, {L"\"\""}, {L",", L",,"},
                               {L" lead", L"trail ", L"in side"}, {L"Линия 1", L"Линия \"2\""}};
    // Entries built from the characters that matter to the format.
    const std::wstring alphabet = L"a\x042f ,\"\t\r";
    std::mt19937 random(7);
    for (int i = 0; i < 500; ++i) {
        List list(random() % 5);
        for (auto& entry : list)
            for (unsigned n = random() % 4; n > 0; --n) entry += alphabet[random() % alphabet.size()];
        lists.push_back(list);
    }
    for (const auto& list : lists) {
        const std::wstring text = WriteListText(list);
        EXPECT_EQ(list, ReadListText(text)) << "written as: " << text.size() << " characters";
    }
}

TEST(ListText, TrimmingRemovesBlanksAndControlsButKeepsEmptyEntries) {
    List list{L" 8 ", L"\t", L"0\r\n", L"\x01" L"810\x20", L"9 9"};
    TrimListEntries(list);
    EXPECT_EQ((List{L"8", L"", L"0", L"810", L"9 9"}), list);
}
