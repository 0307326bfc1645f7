#include "SharedDirectoryProtocol.h"

#include <algorithm>
#include <stdexcept>

namespace SharedDirectoryProtocol {

void PutInteger(std::string& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

void PutFlag(std::string& out, bool value) { out.push_back(value ? 1 : 0); }

void PutCountedText(std::string& out, std::wstring_view text) {
    PutInteger(out, static_cast<int32_t>(text.size() * 2));
    for (wchar_t unit : text) {
        const auto code = static_cast<uint16_t>(unit);
        out.push_back(static_cast<char>(code & 0xFF));
        out.push_back(static_cast<char>(code >> 8));
    }
}

int32_t GetInteger(const char* bytes) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    return static_cast<int32_t>(bits);
}

bool IsAcceptableCount(int32_t count) { return count >= 0 && count % 2 == 0 && count <= kMaxTextBytes; }

std::wstring TextFromBytes(const char* bytes, size_t count) {
    std::wstring text(count / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

std::string EncodeCheckRequest() {
    std::string out;
    PutInteger(out, kCheckRequest);
    return out;
}

std::string EncodeLookupRequest(std::wstring_view phone) {
    std::string out;
    PutInteger(out, kLookupRequest);
    PutCountedText(out, phone);
    return out;
}

std::string EncodeSaveRequest(std::wstring_view phone, std::wstring_view name, std::wstring_view comment) {
    std::string out;
    PutInteger(out, kSaveRequest);
    PutCountedText(out, phone);
    PutCountedText(out, name);
    PutCountedText(out, comment);
    return out;
}

std::string EncodeCheckReply(bool directoriesOpen) {
    std::string out;
    PutFlag(out, directoriesOpen);
    return out;
}

std::string EncodeLookupReply(int32_t status, std::wstring_view name, std::wstring_view region,
                              std::wstring_view comment) {
    std::string out;
    PutInteger(out, status);
    if (status == kLookupDone) {
        PutCountedText(out, name);
        PutCountedText(out, region);
        PutCountedText(out, comment);
    }
    return out;
}

std::string EncodeSaveReply() {
    std::string out;
    PutInteger(out, 0);
    return out;
}

TRequestReader::State TRequestReader::Feed(const char* data, size_t size, size_t& consumed) {
    consumed = 0;
    while (FState == State::NeedMore && (consumed < size || FNeed == 0)) {
        const size_t take = std::min(FNeed - FPending.size(), size - consumed);
        FPending.append(data + consumed, take);
        consumed += take;
        if (FPending.size() == FNeed) ItemDone();
    }
    return FState;
}

void TRequestReader::ItemDone() {
    switch (FItem) {
    case Item::Code:
        FRequest.Code = GetInteger(FPending.data());
        if (FRequest.Code == kCheckRequest) FState = State::Complete;
        else if (FRequest.Code == kLookupRequest) FTextCount = 1;
        else if (FRequest.Code == kSaveRequest) FTextCount = 3;
        else FState = State::Invalid;
        if (FState == State::NeedMore) ExpectText();
        return;
    case Item::Count: {
        const int32_t count = GetInteger(FPending.data());
        if (!IsAcceptableCount(count)) {
            FState = State::Invalid;
            return;
        }
        FPending.clear();
        FItem = Item::Text;
        // An empty text has no bytes; it is complete at once.
        FNeed = static_cast<size_t>(count);
        return;
    }
    case Item::Text: {
        std::wstring* texts[] = {&FRequest.Phone, &FRequest.Name, &FRequest.Comment};
        *texts[FTextIndex] = TextFromBytes(FPending.data(), FPending.size());
        if (++FTextIndex == FTextCount) FState = State::Complete;
        else ExpectText();
        return;
    }
    }
}

void TRequestReader::ExpectText() {
    FItem = Item::Count;
    FNeed = 4;
    FPending.clear();
}

namespace {

int32_t ReadInteger(const TReadExact& read) {
    char bytes[4];
    read(bytes, 4);
    return GetInteger(bytes);
}

std::wstring ReadCountedText(const TReadExact& read) {
    const int32_t count = ReadInteger(read);
    if (count <= 0) return {};
    if (!IsAcceptableCount(count)) throw std::runtime_error("a reply text with an odd or oversized byte count");
    std::string bytes(static_cast<size_t>(count), '\0');
    read(bytes.data(), bytes.size());
    return TextFromBytes(bytes.data(), bytes.size());
}

}  // namespace

bool ReadCheckReply(const TReadExact& read) {
    char flag = 0;
    read(&flag, 1);
    return flag != 0;
}

int32_t ReadLookupReply(const TReadExact& read, std::wstring& name, std::wstring& region, std::wstring& comment) {
    const int32_t status = ReadInteger(read);
    if (status != kLookupDone) return status;
    name = ReadCountedText(read);
    region = ReadCountedText(read);
    comment = ReadCountedText(read);
    return status;
}

int32_t ReadSaveReply(const TReadExact& read) { return ReadInteger(read); }

}  // namespace SharedDirectoryProtocol
