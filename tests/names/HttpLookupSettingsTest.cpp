#include "HttpLookupSettings.h"

#include <gtest/gtest.h>

namespace {

THttpLookupSettings WithTemplate(std::wstring urlTemplate) {
    THttpLookupSettings settings;
    settings.LookupUrlTemplate = std::move(urlTemplate);
    return settings;
}

TEST(HttpLookupSettings, DefaultsAreOffWithTheNamePathAndTimeOut) {
    const THttpLookupSettings settings;
    EXPECT_EQ(settings.LookupNamePath, L"/name");
    EXPECT_EQ(settings.LookupCommentPath, L"");
    EXPECT_EQ(settings.LookupTimeoutMs, 1500);
    EXPECT_EQ(CheckHttpLookupSettings(settings).Check, THttpLookupCheck::Off);
}

TEST(HttpLookupSettings, TemplatesAreCheckedAsTheCrmCardsAndNeverAskForAName) {
    struct Case {
        const wchar_t* Template;
        THttpLookupCheck Check;
        const wchar_t* Detail;
    };
    const Case cases[] = {
        {L"https://crm.example/api/find?phone={number}", THttpLookupCheck::Accepted, L""},
        {L"HTTP://crm.example/find/{NUMBER}/{channel}", THttpLookupCheck::Accepted, L""},
        {L"   ", THttpLookupCheck::Off, L""},
        {L"file:///C:/crm/{number}", THttpLookupCheck::TemplateRefused, L""},
        {L"ftp://crm.example/{number}", THttpLookupCheck::TemplateRefused, L""},
        {L"https:///find?{number}", THttpLookupCheck::TemplateRefused, L""},
        {L"https://crm.example/find?p={phone}", THttpLookupCheck::TemplateRefused, L"{phone}"},
        {L"https://crm.example/find?p={number}&n={Name}", THttpLookupCheck::TemplateRefused, L"{name}"},
    };
    for (const Case& c : cases) {
        const THttpLookupVerdict verdict = CheckHttpLookupSettings(WithTemplate(c.Template));
        EXPECT_EQ(verdict.Check, c.Check) << c.Template;
        EXPECT_EQ(verdict.Detail, c.Detail) << c.Template;
    }
}

TEST(HttpLookupSettings, PathsMustBeJsonPointersAndTheNameOneIsRequired) {
    struct Case {
        const wchar_t* NamePath;
        const wchar_t* CommentPath;
        THttpLookupCheck Check;
    };
    const Case cases[] = {
        {L"/name", L"", THttpLookupCheck::Accepted},
        {L"/data/0/company", L"/data/0/note", THttpLookupCheck::Accepted},
        {L"/a~1b/c~0d", L"/", THttpLookupCheck::Accepted},
        {L"", L"", THttpLookupCheck::NamePathRefused},
        {L"name", L"", THttpLookupCheck::NamePathRefused},
        {L"/a~2", L"", THttpLookupCheck::NamePathRefused},
        {L"/name~", L"", THttpLookupCheck::NamePathRefused},
        {L"/name", L"comment", THttpLookupCheck::CommentPathRefused},
    };
    for (const Case& c : cases) {
        THttpLookupSettings settings = WithTemplate(L"https://crm.example/?q={number}");
        settings.LookupNamePath = c.NamePath;
        settings.LookupCommentPath = c.CommentPath;
        EXPECT_EQ(CheckHttpLookupSettings(settings).Check, c.Check) << c.NamePath << L" " << c.CommentPath;
    }
}

TEST(HttpLookupSettings, TheHeaderIsOneLineThatCannotSmuggleAnother) {
    struct Case {
        const wchar_t* Header;
        bool Accepted;
    };
    const Case cases[] = {
        {L"", true},
        {L"Authorization: Bearer abc.DEF-123", true},
        {L"X-Api-Key:k", true},
        {L"  Authorization: Bearer x  ", true},  // blanks at the ends are not part of it
        {L"Authorization Bearer x", false},
        {L": x", false},
        {L"Bad Name: x", false},
        {L"Authorization: x\r\nHost: evil.example", false},
        {L"Authorization: x\nX: y", false},
        {L"Authorization: x\x01y", false},
    };
    for (const Case& c : cases) {
        THttpLookupSettings settings = WithTemplate(L"https://crm.example/?q={number}");
        settings.LookupHeader = c.Header;
        const THttpLookupVerdict verdict = CheckHttpLookupSettings(settings);
        EXPECT_EQ(verdict.Check, c.Accepted ? THttpLookupCheck::Accepted : THttpLookupCheck::HeaderRefused)
            << c.Header;
        // The header may hold a secret: a refusal never quotes it.
        EXPECT_EQ(verdict.Detail, L"");
    }
}

TEST(HttpLookupSettings, UrlsEncodeTheCallsValues) {
    THttpLookupSettings settings = WithTemplate(L"https://crm.example/find?phone={number}&line={channel}");
    EXPECT_EQ(BuildLookupUrl(settings, L"+7 (495) 123", L"Приёмная&x=1"),
              L"https://crm.example/find?phone=%2B7%20%28495%29%20123&line=%D0%9F%D1%80%D0%B8%D1%91%D0%BC%D0%BD%D0%B0%D1%8F%26x%3D1");
    settings.LookupNamePath = L"bad";
    EXPECT_EQ(BuildLookupUrl(settings, L"123", L"K1"), L"");
}

TEST(HttpLookupSettings, TimeOutsOutsideTheRangeMoveToItsEnds) {
    EXPECT_EQ(EffectiveLookupTimeoutMs(1500), 1500);
    EXPECT_EQ(EffectiveLookupTimeoutMs(0), kLookupTimeoutMinMs);
    EXPECT_EQ(EffectiveLookupTimeoutMs(-5), kLookupTimeoutMinMs);
    EXPECT_EQ(EffectiveLookupTimeoutMs(1000000), kLookupTimeoutMaxMs);
}

}  // namespace
