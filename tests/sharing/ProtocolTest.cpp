// The bytes of the directory exchange: every layout the protocol shows, requests
// read however they are split, and what a receiver refuses.
#include <gtest/gtest.h>

#include "SharedDirectoryProtocol.h"
#include "SharingTestSupport.h"

using namespace SharedDirectoryProtocol;

namespace {

const std::string kPhoneText = "37 00 34 00 39 00 35 00 31 00 32 00 33 00 34 00 35 00 36 00 37 00";

TEST(SharedDirectoryProtocol, EncodesEveryExampleLayoutExactly) {
    const struct {
        const char* what;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"check request", EncodeCheckRequest(), "00 00 00 00"},
        {"check reply, open", EncodeCheckReply(true), "01"},
        {"check reply, closed", EncodeCheckReply(false), "00"},
        {"lookup request", EncodeLookupRequest(L"74951234567"), "01 00 00 00 16 00 00 00 " + kPhoneText},
        {"lookup request, empty phone", EncodeLookupRequest(L""), "01 00 00 00 00 00 00 00"},
        {"lookup reply, no subscriber, known region", EncodeLookupReply(kLookupDone, L"", L"Мск", L""),
         "00 00 00 00 00 00 00 00 06 00 00 00 1C 04 41 04 3A 04 00 00 00 00"},
        {"lookup reply, directories closed", EncodeLookupReply(kLookupNotDone, L"ignored", L"x", L"y"),
         "01 00 00 00"},
        {"lookup reply, all texts empty", EncodeLookupReply(kLookupDone), "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"save request", EncodeSaveRequest(L"74951234567", L"М", L"ab"),
         "02 00 00 00 16 00 00 00 " + kPhoneText + " 02 00 00 00 1C 04 04 00 00 00 61 00 62 00"},
        {"save request, empty comment", EncodeSaveRequest(L"74951234567", L"М", L""),
         "02 00 00 00 16 00 00 00 " + kPhoneText + " 02 00 00 00 1C 04 00 00 00 00"},
        {"save reply", EncodeSaveReply(), "00 00 00 00"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, HexOf(c.bytes)) << c.what;
    EXPECT_EQ(30u, EncodeLookupRequest(L"74951234567").size());
    EXPECT_EQ(16u, EncodeLookupReply(kLookupDone).size());
}

TEST(SharedDirectoryProtocol, ReadsEveryRequestHoweverItsBytesAreSplit) {
    const struct {
        std::string bytes;
        TSharedDirectoryRequest expected;
    } cases[] = {
        {EncodeCheckRequest(), {kCheckRequest, L"", L"", L""}},
        {EncodeLookupRequest(L"74951234567"), {kLookupRequest, L"74951234567", L"", L""}},
        {EncodeLookupRequest(L""), {kLookupRequest, L"", L"", L""}},
        {EncodeSaveRequest(L"78122345678", L"Ольга Смирнова", L"Поставщик \"бумаги\""),
         {kSaveRequest, L"78122345678", L"Ольга Смирнова", L"Поставщик \"бумаги\""}},
        {EncodeSaveRequest(L"7", L"", L""), {kSaveRequest, L"7", L"", L""}},
    };
    const std::string trailing = "\x05\x06";
    for (const auto& c : cases) {
        const std::string stream = c.bytes + trailing;
        // One piece, byte by byte, and every split into two pieces.
        std::vector<std::vector<size_t>> splits{{stream.size()}, std::vector<size_t>(stream.size(), 1)};
        for (size_t at = 1; at < c.bytes.size(); ++at) splits.push_back({at, stream.size() - at});
        for (const auto& pieces : splits) {
            TRequestReader reader;
            size_t offset = 0, total = 0;
            for (size_t piece : pieces) {
                if (reader.state() != TRequestReader::State::NeedMore) break;
                size_t consumed = 0;
                reader.Feed(stream.data() + offset, piece, consumed);
                offset += piece;
                total += consumed;
            }
            ASSERT_EQ(TRequestReader::State::Complete, reader.state()) << HexOf(c.bytes) << " in " << pieces.size();
            EXPECT_EQ(c.bytes.size(), total) << "bytes after the request are not taken";
            EXPECT_EQ(c.expected.Code, reader.Request().Code);
            EXPECT_EQ(c.expected.Phone, reader.Request().Phone);
            EXPECT_EQ(c.expected.Name, reader.Request().Name);
            EXPECT_EQ(c.expected.Comment, reader.Request().Comment);
        }
    }
}

TEST(SharedDirectoryProtocol, RefusesUnknownCodesAndCountsThatAreNegativeOddOrTooLarge) {
    const struct {
        const char* what;
        std::string bytes;
        TRequestReader::State expected;
    } cases[] = {
        {"code 3", "03 00 00 00", TRequestReader::State::Invalid},
        {"code 7", "07 00 00 00", TRequestReader::State::Invalid},
        {"code -1", "FF FF FF FF", TRequestReader::State::Invalid},
        {"code 0x7FFFFFFF", "FF FF FF 7F", TRequestReader::State::Invalid},
        {"negative count", "01 00 00 00 FE FF FF FF", TRequestReader::State::Invalid},
        {"most negative count", "01 00 00 00 00 00 00 80", TRequestReader::State::Invalid},
        {"odd count", "01 00 00 00 03 00 00 00", TRequestReader::State::Invalid},
        {"count of 1 MiB and 2 bytes", "01 00 00 00 02 00 10 00", TRequestReader::State::Invalid},
        {"count 0x7FFFFFFE", "02 00 00 00 FE FF FF 7F", TRequestReader::State::Invalid},
        {"odd count of a save's comment", "02 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00",
         TRequestReader::State::Invalid},
        {"count of exactly 1 MiB, text still to come", "01 00 00 00 00 00 10 00", TRequestReader::State::NeedMore},
    };
    for (const auto& c : cases) {
        TRequestReader reader;
        const std::string bytes = HexBytes(c.bytes);
        size_t consumed = 0;
        EXPECT_EQ(c.expected, reader.Feed(bytes.data(), bytes.size(), consumed)) << c.what;
    }
}

TEST(SharedDirectoryProtocol, TextsTheDirectoriesKeepAreExactlyTheTextsARequestCarries) {
    const size_t most = static_cast<size_t>(kMaxTextBytes) / 2;
    for (const size_t units : {size_t(0), size_t(1), most - 1, most, most + 1, 2 * most}) {
        const std::wstring text(units, L'ж');
        const std::string request = EncodeSaveRequest(L"74951234567", L"Имя", text);
        TRequestReader reader;
        size_t consumed = 0;
        const bool read = reader.Feed(request.data(), request.size(), consumed) == TRequestReader::State::Complete;
        EXPECT_EQ(FitsSharedDirectoryProtocol(text), read) << units << " units";
        EXPECT_EQ(units <= most, FitsSharedDirectoryProtocol(text)) << units << " units";
        if (read) {
            EXPECT_EQ(text, reader.Request().Comment) << units << " units";
        }
    }
}

// Reads replies out of a byte string; running past its end fails like a closed connection.
TReadExact ReaderOver(const std::string& bytes, size_t& offset) {
    return [&bytes, &offset](char* buffer, size_t size) {
        if (bytes.size() - offset < size) throw std::runtime_error("connection closed");
        std::copy_n(bytes.data() + offset, size, buffer);
        offset += size;
    };
}

TEST(SharedDirectoryProtocol, ClientRepliesTakeNonPositiveCountsAsEmptyAndRefuseOddOrHugeOnes) {
    const struct {
        const char* what;
        std::string bytes;
        bool throws;
        int32_t status;
        std::wstring name, region, comment;
    } cases[] = {
        {"three texts", "00 00 00 00 02 00 00 00 1C 04 00 00 00 00 04 00 00 00 61 00 62 00", false, 0, L"М", L"",
         L"ab"},
        {"negative counts are empty texts", "00 00 00 00 FB FF FF FF 00 00 00 80 02 00 00 00 61 00", false, 0, L"",
         L"", L"a"},
        {"status 1 carries nothing", "01 00 00 00", false, 1, L"", L"", L""},
        {"another status carries nothing", "05 00 00 00 02 00 00 00", false, 5, L"", L"", L""},
        {"odd count", "00 00 00 00 03 00 00 00 61 00 62", true, 0, L"", L"", L""},
        {"count above 1 MiB", "00 00 00 00 02 00 00 00 61 00 02 00 10 00", true, 0, L"a", L"", L""},
        {"cut in the middle of the region", "00 00 00 00 02 00 00 00 61 00 04 00 00 00 62 00", true, 0, L"a", L"",
         L""},
    };
    for (const auto& c : cases) {
        const std::string bytes = HexBytes(c.bytes);
        size_t offset = 0;
        std::wstring name, region, comment;
        int32_t status = -1;
        bool threw = false;
        try {
            status = ReadLookupReply(ReaderOver(bytes, offset), name, region, comment);
        } catch (const std::exception&) {
            threw = true;
        }
        EXPECT_EQ(c.throws, threw) << c.what;
        if (!c.throws) {
            EXPECT_EQ(c.status, status) << c.what;
        }
        EXPECT_EQ(c.name, name) << c.what << ": texts received in full are kept";
        EXPECT_EQ(c.region, region) << c.what;
        EXPECT_EQ(c.comment, comment) << c.what;
    }
    for (const auto& [byte, expected] : {std::pair{"00", false}, {"01", true}, {"7F", true}, {"FF", true}}) {
        const std::string bytes = HexBytes(byte);
        size_t offset = 0;
        EXPECT_EQ(expected, ReadCheckReply(ReaderOver(bytes, offset))) << byte;
    }
}

}  // namespace
