// Calling back: the number as this office dials it, the templates accepted and
// the URL opened through the stand-in for the shell's URL handler.
#include "CallbackLink.h"
#include "CrmLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TDiallingSettings Dialling(std::wstring country, std::wstring city, std::vector<std::wstring> world,
                           std::vector<std::wstring> longDistance) {
    TDiallingSettings dialling;
    dialling.FDefaultCountryCode = std::move(country);
    dialling.FDefaultCityCode = std::move(city);
    dialling.FWorldPrefixes = std::move(world);
    dialling.FCountryPrefixes = std::move(longDistance);
    return dialling;
}

TEST(DialledNumber, TheCanonicalNumberTurnedBackIntoWhatThisOfficeDials) {
    const TDiallingSettings moscow;  // 7, 495, international 810/00, long distance 8/0
    const TDiallingSettings noCodes = Dialling(L"", L"", {L"810"}, {L"8"});
    const TDiallingSettings emptyFirst = Dialling(L"7", L"495", {L"", L"00"}, {L"", L"0"});
    const TDiallingSettings noPrefixes = Dialling(L"7", L"495", {}, {});
    const TDiallingSettings longCodes = Dialling(L"380", L"44", {L"00"}, {L"0"});
    const struct {
        const char* what;
        const TDiallingSettings& dialling;
        const wchar_t* prefix;
        const wchar_t* canonical;
        const wchar_t* dialled;
    } cases[] = {
        {"own city: the subscriber number", moscow, L"", L"74951234567", L"1234567"},
        {"own city, longer local number", moscow, L"", L"749512345678", L"12345678"},
        {"own country, other city", moscow, L"", L"78121234567", L"88121234567"},
        {"other country", moscow, L"", L"441234567890", L"810441234567890"},
        {"outside line before a local number", moscow, L"9", L"74951234567", L"91234567"},
        {"outside line before long distance", moscow, L"9", L"78121234567", L"988121234567"},
        {"outside line before international", moscow, L"9,", L"441234567890", L"9,810441234567890"},
        {"an extension is dialled as it is", moscow, L"9", L"123", L"123"},
        {"a short service number as it is", moscow, L"9", L"123456", L"123456"},
        {"separators dropped", moscow, L"", L"+7 (495) 123-45.67", L"1234567"},
        {"a plus gives a complete number", moscow, L"", L"+441234567890", L"810441234567890"},
        {"star and hash codes as they are", moscow, L"9", L"*100#", L"*100#"},
        {"letters: as they are, never prefixed", moscow, L"9", L"7495&x=1", L"7495&x=1"},
        {"no digit: nothing to dial", moscow, L"9", L"Номер скрыт", L""},
        {"empty", moscow, L"9", L"", L""},
        {"no codes: every complete number is foreign", noCodes, L"", L"74951234567", L"81074951234567"},
        {"empty first entries are skipped", emptyFirst, L"", L"78121234567", L"08121234567"},
        {"empty first international entry skipped", emptyFirst, L"", L"441234567890", L"00441234567890"},
        {"no prefixes at all: national and bare numbers", noPrefixes, L"", L"78121234567", L"8121234567"},
        {"no international prefix: the number as it stands", noPrefixes, L"", L"441234567890", L"441234567890"},
        {"three-digit country code, own city", longCodes, L"", L"380441234567", L"1234567"},
        {"three-digit country code, other city", longCodes, L"", L"380321234567", L"0321234567"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(std::wstring(c.dialled), DialledNumber(c.canonical, c.dialling, c.prefix));
    }
}

TEST(CallbackLink, TemplatesOfDiallersAreAcceptedThoseThatReachFilesOrScriptsAreNot) {
    const struct {
        const wchar_t* urlTemplate;
        TCallbackTemplateCheck check;
    } cases[] = {
        {L"tel:{number}", TCallbackTemplateCheck::Accepted},
        {L"  callto:{number}  ", TCallbackTemplateCheck::Accepted},
        {L"sip:{number}@pbx.example", TCallbackTemplateCheck::Accepted},
        {L"Zoiper:{NUMBER}", TCallbackTemplateCheck::Accepted},
        {L"https://pbx.example/dial?n={number}&line={channel}", TCallbackTemplateCheck::Accepted},
        {L"", TCallbackTemplateCheck::Empty},
        {L" \t ", TCallbackTemplateCheck::Empty},
        {L"{number}", TCallbackTemplateCheck::SchemeRefused},
        {L"c:\\dial.exe {number}", TCallbackTemplateCheck::SchemeRefused},
        {L"file:///c:/windows/system32/calc.exe?{number}", TCallbackTemplateCheck::SchemeRefused},
        {L"JavaScript:alert({number})", TCallbackTemplateCheck::SchemeRefused},
        {L"ms-msdt:/id {number}", TCallbackTemplateCheck::SchemeRefused},
        {L"search-ms:query={number}", TCallbackTemplateCheck::SchemeRefused},
        {L"ta l:{number}", TCallbackTemplateCheck::SchemeRefused},
        {L"tel:{phone}", TCallbackTemplateCheck::UnknownPlaceholder},
        {L"tel:{number", TCallbackTemplateCheck::UnknownPlaceholder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.urlTemplate)));
        EXPECT_EQ(c.check, CheckCallbackTemplate(c.urlTemplate));
        EXPECT_EQ(c.check == TCallbackTemplateCheck::Accepted, CallbackUsable({c.urlTemplate, L""}));
    }
}

// Records what the shell would have been asked to open.
class CallbackOpener : public ::testing::Test {
protected:
    void SetUp() override {
        SetCrmUrlOpener([this](const std::wstring& url, std::wstring& error) {
            if (fail_) {
                error = L"no handler for the scheme";
                return false;
            }
            opened_.push_back(url);
            return true;
        });
    }
    void TearDown() override { SetCrmUrlOpener(nullptr); }

    std::vector<std::wstring> opened_;
    bool fail_ = false;
};

TEST_F(CallbackOpener, HostileNumbersAndChannelsNeverLeaveTheirPlaceInTheUrl) {
    const struct {
        const wchar_t* urlTemplate;
        const wchar_t* number;
        const wchar_t* channel;
        const wchar_t* url;
    } cases[] = {
        {L"tel:{number}", L"74951234567", L"K1", L"tel:1234567"},
        {L"tel:{number}", L"7495&x=1\" /c calc", L"K1", L"tel:7495%26x%3D1%22%2Fccalc"},
        {L"tel:{number}", L"12#3", L"K1", L"tel:12%233"},
        {L"sip:{number}@pbx.example;line={channel}", L"78121234567", L"K1\"&start evil.exe",
         L"sip:88121234567@pbx.example;line=K1%22%26start%20evil.exe"},
        {L"callto:{number}?ch={channel}", L"441234567890", L"Канал 1\r\n", L"callto:810441234567890?ch=%D0%9A%D0%B0%D0%BD%D0%B0%D0%BB%201%0D%0A"},
        {L"https://pbx.example/dial?n={number}&who={name}", L"74951234567", L"", L"https://pbx.example/dial?n=1234567&who=%3Cb%3E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.url)));
        opened_.clear();
        const TCaller caller{c.number, L"<b>", {}, {}};
        EXPECT_EQ(TCallbackResult::Opened, CallBack({c.urlTemplate, L""}, TDiallingSettings{}, caller, c.channel));
        ASSERT_EQ(1u, opened_.size());
        EXPECT_EQ(std::wstring(c.url), opened_[0]);
        for (wchar_t unit : opened_[0]) EXPECT_TRUE(unit > L' ' && unit < 0x7F && unit != L'"') << static_cast<int>(unit);
    }
}

TEST_F(CallbackOpener, OnlyAUsableTemplateAndANumberOpenAnythingAndAFailureSaysWhy) {
    const TDiallingSettings dialling;
    const TCaller caller{L"74951234567", {}, {}, {}};
    EXPECT_EQ(TCallbackResult::Opened, CallBack({L"tel:{number}", L"0"}, dialling, caller, L"K1"));
    EXPECT_EQ(TCallbackResult::NotConfigured, CallBack({L"", L""}, dialling, caller, L"K1"));
    EXPECT_EQ(TCallbackResult::TemplateRefused, CallBack({L"file:{number}", L""}, dialling, caller, L"K1"));
    EXPECT_EQ(TCallbackResult::NoNumber, CallBack({L"tel:{number}", L""}, dialling, TCaller{}, L"K1"));
    fail_ = true;
    std::wstring error;
    EXPECT_EQ(TCallbackResult::OpenFailed, CallBack({L"tel:{number}", L""}, dialling, caller, L"K1", &error));
    EXPECT_EQ(L"no handler for the scheme", error);
    EXPECT_EQ(std::vector<std::wstring>{L"tel:01234567"}, opened_);
}

}  // namespace
