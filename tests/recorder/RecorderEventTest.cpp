// Reading the event record out of the byte block the server sends.
#include "RecorderEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace RecorderEventLayout;

void PutUnit(std::vector<uint8_t>& block, size_t offset, wchar_t unit) {
    block[offset] = static_cast<uint8_t>(unit & 0xFF);
    block[offset + 1] = static_cast<uint8_t>(unit >> 8);
}

TEST(RecorderEventRecord, CodeAndTextsSurviveTheRoundTrip) {
    for (int32_t code : {int32_t{KDV_MSG_RING}, int32_t{KDV_MSG_DESTROY_CONNECTION}, -5, 4}) {
        const auto decoded = DecodeRecorderEvent(EncodeRecorderEvent({code, L"Канал 1", L"+7 (495) 123"}, 9, ~0ull));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(code, decoded->Code);
        EXPECT_EQ(L"Канал 1", decoded->Channel);
        EXPECT_EQ(L"+7 (495) 123", decoded->Text);
    }
}

TEST(RecorderEventRecord, AFieldWithoutNulIsReadToItsFortyEighthUnitAndNoFurther) {
    std::vector<uint8_t> block(Size, 0);
    PutUnit(block, CodeOffset, KDV_MSG_RING);
    for (size_t i = 0; i < TextUnits; ++i) PutUnit(block, ChannelOffset + 2 * i, static_cast<wchar_t>(L'Б' + i % 20));
    for (size_t i = 0; i < TextUnits; ++i) PutUnit(block, TextOffset + 2 * i, L'9');
    const auto event = DecodeRecorderEvent(block);
    ASSERT_TRUE(event);
    ASSERT_EQ(TextUnits, event->Channel.size());
    EXPECT_EQ(L'Б', event->Channel.front());
    EXPECT_EQ(static_cast<wchar_t>(L'Б' + 47 % 20), event->Channel.back()) << "nothing of the next field";
    EXPECT_EQ(std::wstring(TextUnits, L'9'), event->Text) << "the last field stops at the record's end";
}

TEST(RecorderEventRecord, AFieldEndsAtItsFirstNul) {
    std::vector<uint8_t> block(Size, 0);
    for (size_t i = 0; i < TextUnits; ++i) PutUnit(block, ChannelOffset + 2 * i, i < 10 ? L'K' : L'X');
    PutUnit(block, ChannelOffset + 2 * 10, L'\0');
    PutUnit(block, TextOffset + 2 * 1, L'5');  // behind a NUL in the first unit
    const auto event = DecodeRecorderEvent(block);
    ASSERT_TRUE(event);
    EXPECT_EQ(std::wstring(10, L'K'), event->Channel);
    EXPECT_EQ(L"", event->Text);
}

TEST(RecorderEventRecord, ABlockShorterThanARecordIsRefused) {
    const std::vector<uint8_t> full = EncodeRecorderEvent({KDV_MSG_RING, L"K1", L""});
    EXPECT_TRUE(DecodeRecorderEvent(full));
    EXPECT_FALSE(DecodeRecorderEvent(std::span(full.data(), Size - 1)));
    EXPECT_FALSE(DecodeRecorderEvent(std::span<const uint8_t>()));
}

TEST(RecorderEventRecord, OnlyTheKnownCodesHaveNames) {
    EXPECT_EQ(L"KDV_MSG_CHANGE_CHANNEL_NAME", RecorderEventName(0x10001));
    EXPECT_EQ(L"KDV_MSG_DESTROY_CONNECTION", RecorderEventName(0x100FF));
    for (int32_t code : {0, 1, 4, 5, 7, 9, 12, 0x10000, 0x10002, -1}) EXPECT_TRUE(RecorderEventName(code).empty());
}

}  // namespace
