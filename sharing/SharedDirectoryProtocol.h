#pragma once
#include "DirectoryTextLimit.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The bytes of the directory exchange: one request and one reply per TCP
// connection. Integers are 32-bit little-endian, a flag is one byte, a text is
// its byte count followed by UTF-16LE code units. Byte strings are std::string.
namespace SharedDirectoryProtocol {

constexpr int32_t kCheckRequest = 0;
constexpr int32_t kLookupRequest = 1;
constexpr int32_t kSaveRequest = 2;

constexpr int32_t kLookupDone = 0;
constexpr int32_t kLookupNotDone = 1;

constexpr uint16_t kDefaultPort = 32456;
// Each single receive and each single send waits at most this long.
constexpr int kIoTimeoutMs = 10000;
// The peer chooses a text's byte count; no more than this is ever accepted.
// The directories refuse to store a longer text (FitsSharedDirectoryProtocol).
constexpr int32_t kMaxTextBytes = kMaxDirectoryTextBytes;

void PutInteger(std::string& out, int32_t value);
void PutFlag(std::string& out, bool value);
void PutCountedText(std::string& out, std::wstring_view text);
int32_t GetInteger(const char* bytes);
// A count a receiver takes: even, not negative, at most kMaxTextBytes.
bool IsAcceptableCount(int32_t count);
// The text of count bytes of UTF-16LE.
std::wstring TextFromBytes(const char* bytes, size_t count);

std::string EncodeCheckRequest();
std::string EncodeLookupRequest(std::wstring_view phone);
std::string EncodeSaveRequest(std::wstring_view phone, std::wstring_view name, std::wstring_view comment);

std::string EncodeCheckReply(bool directoriesOpen);
// Status kLookupDone carries the three texts; any other status nothing.
std::string EncodeLookupReply(int32_t status, std::wstring_view name = {}, std::wstring_view region = {},
                              std::wstring_view comment = {});
std::string EncodeSaveReply();

struct TSharedDirectoryRequest {
    int32_t Code = -1;
    std::wstring Phone;
    std::wstring Name;
    std::wstring Comment;
};

// Reads one request from bytes as they arrive, however they are split.
class TRequestReader {
public:
    enum class State { NeedMore, Complete, Invalid };

    // Takes bytes up to the end of the request; consumed tells how many.
    // Invalid: an unknown code or a count that is negative, odd or too large.
    State Feed(const char* data, size_t size, size_t& consumed);
    State state() const { return FState; }
    const TSharedDirectoryRequest& Request() const { return FRequest; }

private:
    enum class Item { Code, Count, Text };
    void ItemDone();
    void ExpectText();

    State FState = State::NeedMore;
    Item FItem = Item::Code;
    size_t FNeed = 4;
    std::string FPending;
    int FTextIndex = 0;  // 0 phone, 1 name, 2 comment
    int FTextCount = 0;  // texts this request carries
    TSharedDirectoryRequest FRequest;
};

// Receives exactly size bytes or throws; the client's and the tools' replies
// are read through it.
using TReadExact = std::function<void(char* buffer, size_t size)>;

// A reply text whose count is odd or too large throws std::runtime_error.
bool ReadCheckReply(const TReadExact& read);
// The status, then for kLookupDone the three texts; each text is stored as soon
// as it has arrived. A count of 0 or less is an empty text.
int32_t ReadLookupReply(const TReadExact& read, std::wstring& name, std::wstring& region, std::wstring& comment);
int32_t ReadSaveReply(const TReadExact& read);

}  // namespace SharedDirectoryProtocol
