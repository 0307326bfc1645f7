// The CRM link: which templates are accepted and what URL a call gives.
#include "CrmLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A call's data as a card gets it.
struct CardData {
    std::wstring number, name, channel;
};
const CardData kCall{L"74951234567", L"Иван Петров", L"K1"};

std::wstring BuildCrmUrl(const std::wstring& urlTemplate, const CardData& call) {
    return ::BuildCrmUrl(urlTemplate, TCaller{call.number, call.name, {}, {}}, call.channel);
}
TCrmOpenResult OpenCrmCard(const std::wstring& urlTemplate, const std::wstring& number, const std::wstring& name,
                           const std::wstring& channel, std::wstring* error = nullptr) {
    return ::OpenCrmCard(urlTemplate, TCaller{number, name, {}, {}}, channel, error);
}

TEST(CrmLink, ValuesKeepOnlyUnreservedCharactersAndEncodeTheRestAsUtf8) {
    const struct {
        const wchar_t* value;
        const wchar_t* encoded;
    } cases[] = {
        {L"", L""},
        {L"AZaz09-._~", L"AZaz09-._~"},
        {L"+7 (495) 123-45-67", L"%2B7%20%28495%29%20123-45-67"},
        {L"a&b=c?d/e#f%g\"h'i", L"a%26b%3Dc%3Fd%2Fe%23f%25g%22h%27i"},
        {L"Ёлка ж", L"%D0%81%D0%BB%D0%BA%D0%B0%20%D0%B6"},
        // An emoji is one surrogate pair: four UTF-8 bytes, never two halves.
        {L"\U0001F600x", L"%F0%9F%98%80x"},
        // A lone surrogate is no character: U+FFFD stands in for it.
        {L"a\xD800z", L"a%EF%BF%BDz"},
        {L"\r\n\t", L"%0D%0A%09"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.encoded, PercentEncodeValue(c.value)) << testing::PrintToString(c.value);
}

TEST(CrmLink, TemplatesOtherThanHttpAndHttpsWithAHostAreRefused) {
    const struct {
        const wchar_t* text;
        TCrmTemplateCheck check;
        const wchar_t* detail;
    } cases[] = {
        {L"", TCrmTemplateCheck::Empty, L""},
        {L"   ", TCrmTemplateCheck::Empty, L""},
        {L"https://crm.example/card?phone={number}", TCrmTemplateCheck::Accepted, L""},
        {L"HTTP://crm.example/{Name}/{CHANNEL}", TCrmTemplateCheck::Accepted, L""},
        {L"  https://crm.example/  ", TCrmTemplateCheck::Accepted, L""},
        {L"https://crm.example/home", TCrmTemplateCheck::Accepted, L""},  // no placeholder at all
        {L"ftp://crm.example/{number}", TCrmTemplateCheck::SchemeRefused, L""},
        {L"file:///C:/Windows/System32/calc.exe", TCrmTemplateCheck::SchemeRefused, L""},
        {L"javascript:alert(1)", TCrmTemplateCheck::SchemeRefused, L""},
        {L"calc.exe {number}", TCrmTemplateCheck::SchemeRefused, L""},
        {L"crm.example/card?phone={number}", TCrmTemplateCheck::SchemeRefused, L""},
        {L"https:crm.example", TCrmTemplateCheck::SchemeRefused, L""},
        {L"https://", TCrmTemplateCheck::SchemeRefused, L""},
        {L"https:///card", TCrmTemplateCheck::SchemeRefused, L""},
        {L"httpx://crm.example", TCrmTemplateCheck::SchemeRefused, L""},
        {L"\"https://crm.example\"", TCrmTemplateCheck::SchemeRefused, L""},
        {L"https://crm.example/?p={phone}", TCrmTemplateCheck::UnknownPlaceholder, L"{phone}"},
        {L"https://crm.example/?p={number", TCrmTemplateCheck::UnknownPlaceholder, L"{number"},
        {L"https://crm.example/?p=number}", TCrmTemplateCheck::UnknownPlaceholder, L"}"},
        {L"https://crm.example/?p={ number }", TCrmTemplateCheck::UnknownPlaceholder, L"{ number }"},
        {L"https://crm.example/?p={}", TCrmTemplateCheck::UnknownPlaceholder, L"{}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const TCrmTemplateVerdict verdict = CheckCrmTemplate(c.text);
        EXPECT_EQ(static_cast<int>(c.check), static_cast<int>(verdict.Check));
        EXPECT_EQ(c.detail, verdict.Detail);
        if (c.check != TCrmTemplateCheck::Accepted) {
            EXPECT_EQ(L"", BuildCrmUrl(c.text, kCall));
        }
    }
}

TEST(CrmLink, UrlsForReservedCyrillicAndLongValuesStayOneValidAsciiUrl) {
    const std::wstring fortyDigits(40, L'9');
    const struct {
        const wchar_t* text;
        CardData call;
        std::wstring url;
    } cases[] = {
        {L"https://crm.example/card?phone={number}&line={channel}", kCall,
         L"https://crm.example/card?phone=74951234567&line=K1"},
        {L"HTTPS://crm.example/{NAME}", kCall,
         L"https://crm.example/%D0%98%D0%B2%D0%B0%D0%BD%20%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2"},
        // Call data cannot add a parameter, a fragment, a path or a quote.
        {L"http://crm.example/?n={name}&x=1", {L"1", L"a&admin=1#frag/../\" x", L""},
         L"http://crm.example/?n=a%26admin%3D1%23frag%2F..%2F%22%20x&x=1"},
        {L"https://crm.example/?n={name}", {L"1", L"Маша \U0001F600", L""},
         L"https://crm.example/?n=%D0%9C%D0%B0%D1%88%D0%B0%20%F0%9F%98%80"},
        {L"https://crm.example/?p={number}", {fortyDigits, L"", L""}, L"https://crm.example/?p=" + fortyDigits},
        // The same placeholder twice, and an empty value.
        {L"https://crm.example/{number}/{number}?c={channel}", {L"12", L"", L""},
         L"https://crm.example/12/12?c="},
        // The template's own blanks, quotes and Cyrillic are encoded; valid
        // escapes and reserved characters stay as typed; a stray '%' is encoded.
        {L"https://crm.example/карточка абонента?q=\"{number}\"&r=%2F&s=100%", {L"5", L"", L""},
         L"https://crm.example/%D0%BA%D0%B0%D1%80%D1%82%D0%BE%D1%87%D0%BA%D0%B0%20%D0%B0%D0%B1%D0%BE%D0%BD%D0%B5%D0%BD"
         L"%D1%82%D0%B0?q=%225%22&r=%2F&s=100%25"},
        {L"https://[::1]:8080/a;b,c!$'()*+@x?{channel}", {L"1", L"", L"K 1/2"},
         L"https://[::1]:8080/a;b,c!$'()*+@x?K%201%2F2"},
        {L"https://crm.example/<a>|^`\\", {L"1", L"", L""}, L"https://crm.example/%3Ca%3E%7C%5E%60%5C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const std::wstring url = BuildCrmUrl(c.text, c.call);
        EXPECT_EQ(c.url, url);
        for (wchar_t unit : url) {
            EXPECT_TRUE(unit > L' ' && unit < 0x7F && unit != L'"') << "unit " << static_cast<int>(unit);
            if (!(unit > L' ' && unit < 0x7F && unit != L'"')) break;
        }
    }
}

TEST(CrmLink, OpeningGoesThroughTheReplaceableOpenerOnlyForACallWithANumber) {
    std::vector<std::wstring> opened;
    bool fail = false;
    SetCrmUrlOpener([&](const std::wstring& url, std::wstring& error) {
        if (fail) {
            error = L"no browser";
            return false;
        }
        opened.push_back(url);
        return true;
    });
    const std::wstring crm = L"https://crm.example/?p={number}&n={name}";
    EXPECT_EQ(TCrmOpenResult::Opened, OpenCrmCard(crm, L"74951234567", L"Ан", L"K1"));
    EXPECT_EQ(TCrmOpenResult::NoNumber, OpenCrmCard(crm, L"", L"Ан", L"K1"));
    EXPECT_EQ(TCrmOpenResult::NotConfigured, OpenCrmCard(L"", L"7495", L"", L"K1"));
    EXPECT_EQ(TCrmOpenResult::TemplateRefused, OpenCrmCard(L"file:///c:/x?{number}", L"7495", L"", L"K1"));
    fail = true;
    std::wstring error;
    EXPECT_EQ(TCrmOpenResult::OpenFailed, OpenCrmCard(crm, L"1", L"", L"K1", &error));
    EXPECT_EQ(L"no browser", error);
    SetCrmUrlOpener(nullptr);
    EXPECT_EQ(std::vector<std::wstring>{L"https://crm.example/?p=74951234567&n=%D0%90%D0%BD"}, opened);
}

TEST(CrmLink, OpenModesOutsideTheListActAsNever) {
    EXPECT_EQ(comNever, EffectiveCrmOpenMode(comNever));
    EXPECT_EQ(comButton, EffectiveCrmOpenMode(comButton));
    EXPECT_EQ(comOnAnswer, EffectiveCrmOpenMode(comOnAnswer));
    EXPECT_EQ(comNever, EffectiveCrmOpenMode(static_cast<TCrmOpenMode>(3)));
    EXPECT_EQ(comNever, EffectiveCrmOpenMode(static_cast<TCrmOpenMode>(-1)));
}

}  // namespace
