#include "CrmNamesSettings.h"

#include <gtest/gtest.h>

namespace {

TCrmNamesSettings WithTemplate(std::wstring urlTemplate) {
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = std::move(urlTemplate);
    return settings;
}

TEST(CrmNamesSettings, DefaultsAreOffWithTheNamePathAndTimeOut) {
    const TCrmNamesSettings settings;
    EXPECT_EQ(settings.LookupNamePath, L"/name");
    EXPECT_EQ(settings.LookupCommentPath, L"");
    EXPECT_EQ(settings.LookupTimeoutMs, 1500);
    EXPECT_EQ(CheckCrmNamesSettings(settings).Check, TCrmNamesCheck::Off);
}

TEST(CrmNamesSettings, TemplatesAreCheckedAsTheCrmCardsAndNeverAskForAName) {
    struct Case {
        const wchar_t* Template;
        TCrmNamesCheck Check;
        const wchar_t* Detail;
    };
    const Case cases[] = {
        {L"https://crm.example/api/find?phone={number}", TCrmNamesCheck::Accepted, L""},
        {L"HTTP://crm.example/find/{NUMBER}/{channel}", TCrmNamesCheck::Accepted, L""},
        {L"   ", TCrmNamesCheck::Off, L""},
        {L"file:///C:/crm/{number}", TCrmNamesCheck::TemplateRefused, L""},
        {L"ftp://crm.example/{number}", TCrmNamesCheck::TemplateRefused, L""},
        {L"https:///find?{number}", TCrmNamesCheck::TemplateRefused, L""},
        {L"https://crm.example/find?p={phone}", TCrmNamesCheck::TemplateRefused, L"{phone}"},
        {L"https://crm.example/find?p={number}&n={Name}", TCrmNamesCheck::TemplateRefused, L"{name}"},
    };
    for (const Case& c : cases) {
        const TCrmNamesVerdict verdict = CheckCrmNamesSettings(WithTemplate(c.Template));
        EXPECT_EQ(verdict.Check, c.Check) << c.Template;
        EXPECT_EQ(verdict.Detail, c.Detail) << c.Template;
    }
}

TEST(CrmNamesSettings, PathsMustBeJsonPointersAndTheNameOneIsRequired) {
    struct Case {
        const wchar_t* NamePath;
        const wchar_t* CommentPath;
        TCrmNamesCheck Check;
    };
    const Case cases[] = {
        {L"/name", L"", TCrmNamesCheck::Accepted},
        {L"/data/0/company", L"/data/0/note", TCrmNamesCheck::Accepted},
        {L"/a~1b/c~0d", L"/", TCrmNamesCheck::Accepted},
        {L"", L"", TCrmNamesCheck::NamePathRefused},
        {L"name", L"", TCrmNamesCheck::NamePathRefused},
        {L"/a~2", L"", TCrmNamesCheck::NamePathRefused},
        {L"/name~", L"", TCrmNamesCheck::NamePathRefused},
        {L"/name", L"comment", TCrmNamesCheck::CommentPathRefused},
    };
    for (const Case& c : cases) {
        TCrmNamesSettings settings = WithTemplate(L"https://crm.example/?q={number}");
        settings.LookupNamePath = c.NamePath;
        settings.LookupCommentPath = c.CommentPath;
        EXPECT_EQ(CheckCrmNamesSettings(settings).Check, c.Check) << c.NamePath << L" " << c.CommentPath;
    }
}

TEST(CrmNamesSettings, TheHeaderIsOneLineThatCannotSmuggleAnother) {
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
        TCrmNamesSettings settings = WithTemplate(L"https://crm.example/?q={number}");
        settings.LookupHeader = c.Header;
        const TCrmNamesVerdict verdict = CheckCrmNamesSettings(settings);
        EXPECT_EQ(verdict.Check, c.Accepted ? TCrmNamesCheck::Accepted : TCrmNamesCheck::HeaderRefused)
            << c.Header;
        // The header may hold a secret: a refusal never quotes it.
        EXPECT_EQ(verdict.Detail, L"");
    }
}

TEST(CrmNamesSettings, UrlsEncodeTheCallsValues) {
    TCrmNamesSettings settings = WithTemplate(L"https://crm.example/find?phone={number}&line={channel}");
    EXPECT_EQ(BuildLookupUrl(settings, L"+7 (495) 123", L"Приёмная&x=1"),
              L"https://crm.example/find?phone=%2B7%20%28495%29%20123&line=%D0%9F%D1%80%D0%B8%D1%91%D0%BC%D0%BD%D0%B0%D1%8F%26x%3D1");
    settings.LookupNamePath = L"bad";
    EXPECT_EQ(BuildLookupUrl(settings, L"123", L"K1"), L"");
}

TEST(CrmNamesSettings, TimeOutsOutsideTheRangeMoveToItsEnds) {
    EXPECT_EQ(EffectiveLookupTimeoutMs(1500), 1500);
    EXPECT_EQ(EffectiveLookupTimeoutMs(0), kLookupTimeoutMinMs);
    EXPECT_EQ(EffectiveLookupTimeoutMs(-5), kLookupTimeoutMinMs);
    EXPECT_EQ(EffectiveLookupTimeoutMs(1000000), kLookupTimeoutMaxMs);
}

}  // namespace
