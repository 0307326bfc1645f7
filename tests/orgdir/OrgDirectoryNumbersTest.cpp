#include "OrgDirectoryNumbers.h"
#include "DpapiText.h"
#include "LdapReader.h"
#include "OrgDirectorySettings.h"
#include "OrgDirectorySync.h"
#include "PlainNameText.h"

#include <gtest/gtest.h>

namespace {

using Numbers = std::vector<std::wstring>;

struct NumberCase {
    const wchar_t* written;
    Numbers expected;
};

TEST(OrgDirectoryNumbers, NumbersAsPeopleWriteThem) {
    const NumberCase cases[] = {
        {L"+7 (495) 111-22-33", {L"74951112233"}},
        {L"8 495 111 22 33 доб. 123", {L"74951112233"}},
        {L"8 (495) 111-22-33 (доб. 45)", {L"74951112233"}},
        {L"+7 495 111-22-33 ext. 7", {L"74951112233"}},
        {L"+7 495 111-22-33 EXT 7", {L"74951112233"}},
        {L"+7 495 111-22-33 x123", {L"74951112233"}},
        {L"+7 495 111-22-33 #12", {L"74951112233"}},
        {L"+7 495 111-22-33 вн. 12", {L"74951112233"}},
        {L"8 495 111 22 33, Доб 123", {L"74951112233"}},
        {L"111-22-33", {L"74951112233"}},
        {L"2233", {L"2233"}},
        {L"  2233  ", {L"2233"}},
        {L"+44 20 7946 0018", {L"442079460018"}},
        {L"8 (916) 123.45.67", {L"79161234567"}},
        {L"+7 495 111-22-33; 2233", {L"74951112233", L"2233"}},
        {L"+7 495 111-22-33\r\n8 916 123 45 67", {L"74951112233", L"79161234567"}},
        {L"+7 495 111-22-33, 8 (495) 111-22-33", {L"74951112233"}},
        {L"", {}},
        {L"нет", {}},
        {L"см. на сайте", {}},
        {L"12", {}},
        {L"доб. 123", {}},
        {L"7+495", {}},
        {L"12345678901234567890", {}},
        {L"нет; 2233", {L"2233"}},
    };
    const TDiallingSettings dialling;
    for (const NumberCase& c : cases)
        EXPECT_EQ(OrgDirectoryNumbers(c.written, dialling), c.expected)
            << "written: " << testing::PrintToString(c.written);
}

TEST(OrgDirectoryNumbers, FollowTheDiallingSettings) {
    TDiallingSettings dialling;
    dialling.FDefaultCityCode = L"812";
    EXPECT_EQ(OrgDirectoryNumbers(L"111-22-33", dialling), Numbers{L"78121112233"});
    dialling.FCityPrefixes = {L"9"};
    EXPECT_EQ(OrgDirectoryNumbers(L"9 111-22-33", dialling), Numbers{L"78121112233"});
}

struct ServerCase {
    const wchar_t* url;
    std::optional<TLdapServerAddress> expected;
};

TEST(LdapServerAddress, AcceptsLdapAndLdapsUrlsOnly) {
    const ServerCase cases[] = {
        {L"ldap://dc1.corp.local", TLdapServerAddress{L"dc1.corp.local", 389, false}},
        {L"LDAP://dc1:3268/", TLdapServerAddress{L"dc1", 3268, false}},
        {L"ldaps://dc2.corp.local", TLdapServerAddress{L"dc2.corp.local", 636, true}},
        {L"ldaps://10.0.0.5:1636", TLdapServerAddress{L"10.0.0.5", 1636, true}},
        {L"ldap://[::1]:389", TLdapServerAddress{L"::1", 389, false}},
        {L"ldap://[fe80::1]", TLdapServerAddress{L"fe80::1", 389, false}},
        {L"dc1.corp.local", std::nullopt},
        {L"http://dc1", std::nullopt},
        {L"ldap://", std::nullopt},
        {L"ldap://dc1:", std::nullopt},
        {L"ldap://dc1:0", std::nullopt},
        {L"ldap://dc1:65536", std::nullopt},
        {L"ldap://dc1:38x", std::nullopt},
        {L"ldap://dc1/dc=corp", std::nullopt},
        {L"ldap://user@dc1", std::nullopt},
        {L"ldap://[::1", std::nullopt},
    };
    for (const ServerCase& c : cases) EXPECT_EQ(ParseLdapServer(c.url), c.expected) << testing::PrintToString(c.url);
}

TEST(OrgDirectorySettings, ListsFilterAndAttributes) {
    TOrgDirectorySettings settings;
    EXPECT_FALSE(OrgDirectoryEnabled(settings));
    settings.FLdapServers = L"  ldap://a  ldaps://b:636 ";
    EXPECT_TRUE(OrgDirectoryEnabled(settings));
    EXPECT_EQ(SettingListEntries(settings.FLdapServers), (Numbers{L"ldap://a", L"ldaps://b:636"}));
    EXPECT_EQ(SettingListEntries(L"title, department;;company"), (Numbers{L"title", L"department", L"company"}));

    EXPECT_EQ(EffectiveLdapFilter(settings),
              L"(|(telephoneNumber=*)(mobile=*)(ipPhone=*)(homePhone=*)(otherTelephone=*))");
    settings.FLdapFilter = L"(&(objectClass=user)(telephoneNumber=*))";
    EXPECT_EQ(EffectiveLdapFilter(settings), settings.FLdapFilter);

    for (const auto& [minutes, period] : {std::pair{60, 60}, {0, 60}, {-5, 60}, {1, 1}, {100000, kMaxLdapSyncMinutes}}) {
        settings.FLdapSyncMinutes = minutes;
        EXPECT_EQ(SyncPeriodMinutes(settings), period) << minutes;
    }

    settings.FLdapPhoneAttributes = L"telephoneNumber,Mobile,mobile";
    settings.FLdapNameAttribute = L"CN";
    settings.FLdapCommentAttributes = L"title,cn";
    const TOrgAttributes attributes = OrgAttributes(settings);
    // Each attribute is asked for once, however often it is named.
    EXPECT_EQ(attributes.Requested, (Numbers{L"telephoneNumber", L"Mobile", L"CN", L"title"}));
    EXPECT_EQ(attributes.PhoneColumns, (std::vector<size_t>{0, 1, 1}));
    EXPECT_EQ(attributes.NameColumn, 2u);
    EXPECT_EQ(attributes.CnColumn, 2u);
    EXPECT_EQ(attributes.CommentColumns, (std::vector<size_t>{3, 2}));
}

TEST(OrgDirectoryEntry, NameCommentAndEveryNumberOfAnEntry) {
    const TOrgAttributes attributes = OrgAttributes(TOrgDirectorySettings{});
    const TDiallingSettings dialling;
    auto values = [&](std::initializer_list<std::pair<const wchar_t*, Numbers>> given) {
        TLdapValues result(attributes.Requested.size());
        for (const auto& [name, list] : given) {
            for (size_t i = 0; i < attributes.Requested.size(); ++i)
                if (attributes.Requested[i] == name) result[i] = list;
        }
        return result;
    };
    TOrgDirectoryEntry entry = OrgEntryFromValues(
        attributes,
        values({{L"displayName", {L"  Иванов\r\nИван "}},
                {L"cn", {L"ivanov"}},
                {L"telephoneNumber", {L"+7 (495) 111-22-33", L"2233"}},
                {L"mobile", {L"8 916 123 45 67", L"+7 495 111-22-33"}},
                {L"otherTelephone", {L"нет"}},
                {L"title", {L"Инженер", L"Старший инженер"}},
                {L"department", {L""}},
                {L"company", {L"Инженер"}}}),
        dialling);
    EXPECT_EQ(entry.Name, L"Иванов Иван");
    EXPECT_EQ(entry.Comment, L"Инженер");
    EXPECT_EQ(entry.Numbers, (Numbers{L"74951112233", L"2233", L"79161234567"}));

    entry = OrgEntryFromValues(attributes,
                               values({{L"cn", {L"Приёмная"}},
                                       {L"ipPhone", {L"100"}},
                                       {L"title", {L"Секретарь"}},
                                       {L"department", {L"Дирекция"}},
                                       {L"company", {L"ООО Кордавин"}}}),
                               dialling);
    EXPECT_EQ(entry.Name, L"Приёмная");
    EXPECT_EQ(entry.Comment, L"Секретарь, Дирекция, ООО Кордавин");
    EXPECT_EQ(entry.Numbers, Numbers{L"100"});

    entry = OrgEntryFromValues(attributes, values({{L"telephoneNumber", {L"2233"}}}), dialling);
    EXPECT_TRUE(entry.Numbers.empty()) << "an entry without a name has nothing to show";

    // Texts as long as a hostile server likes are cut as a CRM's are, and
    // direction tricks go.
    entry = OrgEntryFromValues(attributes,
                               values({{L"displayName", {L"\x202E" + std::wstring(5000, L'Я')}},
                                       {L"ipPhone", {L"100"}},
                                       {L"title", {std::wstring(3000, L't')}},
                                       {L"department", {std::wstring(3000, L'd')}}}),
                               dialling);
    EXPECT_EQ(entry.Name, std::wstring(kMaxNameLength, L'Я'));
    EXPECT_EQ(entry.Comment, std::wstring(kMaxCommentLength, L't'));
    EXPECT_EQ(entry.Numbers, Numbers{L"100"});
}

TEST(DpapiText, SecretsRoundTripAndDamageIsRefused) {
    for (const std::wstring& secret : {std::wstring(L"p@ss Пароль"), std::wstring(L"x"), std::wstring(300, L'я')}) {
        const std::wstring stored = ProtectForUser(secret);
        if (secret.size() > 3) {
            EXPECT_EQ(stored.find(secret), std::wstring::npos);
        }
        EXPECT_EQ(stored.find_first_of(L"\r\n"), std::wstring::npos) << "one INI line";
        std::wstring read;
        EXPECT_TRUE(UnprotectForUser(stored, read));
        EXPECT_EQ(read, secret);
        EXPECT_FALSE(UnprotectForUser(stored.substr(0, stored.size() / 2), read)) << "a cut blob";
    }
    EXPECT_EQ(ProtectForUser(L""), L"");
    std::wstring read = L"left over";
    EXPECT_TRUE(UnprotectForUser(L"", read));
    EXPECT_EQ(read, std::wstring());
    EXPECT_FALSE(UnprotectForUser(L"not base64 at all!", read));
}

}  // namespace
