#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Event codes of the recording server's event queue.
enum RecorderEventCode : int32_t {
    KDV_MSG_RING = 2,
    KDV_MSG_ANI_DETECT = 3,
    KDV_MSG_MISSED_PHONE = 6,
    KDV_MSG_DEVICE_CONNECTED = 8,
    KDV_MSG_CONVERSATION_BEGIN = 10,
    KDV_MSG_CONVERSATION_END = 11,
    KDV_MSG_CHANGE_CHANNEL_NAME = 0x10001,
    KDV_MSG_DESTROY_CONNECTION = 0x100FF,
};

// One event as ReadMessage delivers it: a byte block with the code at offset 4,
// and two fixed 48-unit UTF-16LE texts at 16 and 112.
struct TRecorderEvent {
    int32_t Code = 0;
    std::wstring Channel;
    std::wstring Text;
};

namespace RecorderEventLayout {
constexpr size_t CodeOffset = 4;
constexpr size_t ChannelOffset = 16;
constexpr size_t TextOffset = 112;
constexpr size_t TextUnits = 48;
constexpr size_t Size = 208;
}

// The symbolic name of a known event code, or an empty view for any other code.
std::wstring_view RecorderEventName(int32_t code);

// Reads a record; nullopt when the block is shorter than a record.
std::optional<TRecorderEvent> DecodeRecorderEvent(std::span<const uint8_t> block);

// Builds a record block as the server sends it; texts longer than 48 units are cut.
// Header bytes 0..3 and 8..15 carry a sequence number and a timestamp.
std::vector<uint8_t> EncodeRecorderEvent(const TRecorderEvent& event,
                                         uint32_t sequence = 0, uint64_t timestamp = 0);
