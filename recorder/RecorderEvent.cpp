#include "RecorderEvent.h"


namespace {

using namespace RecorderEventLayout;

std::wstring ReadFixedText(std::span<const uint8_t> block, size_t offset) {
    std::wstring text;
    for (size_t i = 0; i < TextUnits; ++i) {
        const size_t at = offset + i * 2;
        const wchar_t unit = static_cast<wchar_t>(block[at] | (block[at + 1] << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

void WriteFixedText(std::vector<uint8_t>& block, size_t offset, const std::wstring& text) {
    const size_t units = text.size() < TextUnits ? text.size() : TextUnits;
    for (size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<uint16_t>(text[i]);
        block[offset + i * 2] = static_cast<uint8_t>(unit & 0xFF);
        block[offset + i * 2 + 1] = static_cast<uint8_t>(unit >> 8);
    }
}

void WriteLittleEndian(std::vector<uint8_t>& block, size_t offset, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::wstring_view RecorderEventName(int32_t code) {
    switch (code) {
    case KDV_MSG_RING: return L"KDV_MSG_RING";
    case KDV_MSG_ANI_DETECT: return L"KDV_MSG_ANI_DETECT";
    case KDV_MSG_MISSED_PHONE: return L"KDV_MSG_MISSED_PHONE";
    case KDV_MSG_DEVICE_CONNECTED: return L"KDV_MSG_DEVICE_CONNECTED";
    case KDV_MSG_CONVERSATION_BEGIN: return L"KDV_MSG_CONVERSATION_BEGIN";
    case KDV_MSG_CONVERSATION_END: return L"KDV_MSG_CONVERSATION_END";
    case KDV_MSG_CHANGE_CHANNEL_NAME: return L"KDV_MSG_CHANGE_CHANNEL_NAME";
    case KDV_MSG_DESTROY_CONNECTION: return L"KDV_MSG_DESTROY_CONNECTION";
    default: return {};
    }
}

std::optional<TRecorderEvent> DecodeRecorderEvent(std::span<const uint8_t> block) {
    if (block.size() < Size) return std::nullopt;
    TRecorderEvent event;
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) code |= static_cast<uint32_t>(block[CodeOffset + i]) << (8 * i);
    event.Code = static_cast<int32_t>(code);
    event.Channel = ReadFixedText(block, ChannelOffset);
    event.Text = ReadFixedText(block, TextOffset);
    return event;
}

std::vector<uint8_t> EncodeRecorderEvent(const TRecorderEvent& event, uint32_t sequence, uint64_t timestamp) {
    std::vector<uint8_t> block(Size, 0);
    WriteLittleEndian(block, 0, sequence, 4);
    WriteLittleEndian(block, CodeOffset, static_cast<uint32_t>(event.Code), 4);
    WriteLittleEndian(block, 8, timestamp, 8);
    WriteFixedText(block, ChannelOffset, event.Channel);
    WriteFixedText(block, TextOffset, event.Text);
    return block;
}
