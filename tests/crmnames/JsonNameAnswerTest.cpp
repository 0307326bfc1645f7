#include "JsonNameAnswer.h"
#include "PlainNameText.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* Label;
    int Status;
    std::string Body;
    TCrmNamesOutcome Outcome;
    TCrmNamesError Error;
    const wchar_t* Name;
    const wchar_t* Comment;
};

TEST(JsonNameAnswer, StatusesAndBodiesGiveNamesNotFoundOrReasons) {
    using O = TCrmNamesOutcome;
    using E = TCrmNamesError;
    const Case cases[] = {
        {"name and comment", 200, R"({"name":"ООО Ромашка","comment":"VIP"})", O::Found, E::None, L"ООО Ромашка", L"VIP"},
        {"name only", 200, R"({"name":"Иванов"})", O::Found, E::None, L"Иванов", L""},
        {"utf-8 bom", 200, "\xEF\xBB\xBF{\"name\":\"A\"}", O::Found, E::None, L"A", L""},
        {"escaped", 200, R"({"name":"\u0418\u0432\u0430\u043d"})", O::Found, E::None, L"Иван", L""},
        {"number as name", 200, R"({"name":12345})", O::Found, E::None, L"12345", L""},
        {"404", 404, "<html>no</html>", O::NotFound, E::None, L"", L""},
        {"missing name", 200, R"({"other":"x"})", O::NotFound, E::None, L"", L""},
        {"null name", 200, R"({"name":null})", O::NotFound, E::None, L"", L""},
        {"empty name", 200, R"({"name":""})", O::NotFound, E::None, L"", L""},
        {"blank name", 200, R"({"name":" \t\r\n "})", O::NotFound, E::None, L"", L""},
        {"500", 500, R"({"name":"x"})", O::Failed, E::HttpStatus, L"", L""},
        {"204", 204, "", O::Failed, E::HttpStatus, L"", L""},
        {"html", 200, "<!DOCTYPE html><html><body>Login</body></html>", O::Failed, E::NotJson, L"", L""},
        {"invalid json", 200, R"({"name":"x",})", O::Failed, E::NotJson, L"", L""},
        {"truncated", 200, R"({"name":"x)", O::Failed, E::NotJson, L"", L""},
        {"empty body", 200, "", O::Failed, E::NotJson, L"", L""},
        {"not utf-8", 200, "{\"name\":\"\xC8\xE2\xE0\xED\"}", O::Failed, E::NotJson, L"", L""},
        {"bare string", 200, R"("name")", O::Failed, E::NotObject, L"", L""},
        {"object as name", 200, R"({"name":{"first":"A"}})", O::Failed, E::ValueNotText, L"", L""},
        {"bool as name", 200, R"({"name":true})", O::Failed, E::ValueNotText, L"", L""},
        {"deep", 200, std::string(100, '[') + std::string(100, ']'), O::Failed, E::TooDeep, L"", L""},
        {"too large", 200, "{\"name\":\"" + std::string(kMaxAnswerBytes, 'a') + "\"}", O::Failed, E::BodyTooLarge,
         L"", L""},
    };
    for (const Case& c : cases) {
        const TCrmNamesResult result = ReadNameAnswer(c.Status, c.Body, L"/name", L"/comment");
        EXPECT_EQ(result.Outcome, c.Outcome) << c.Label;
        EXPECT_EQ(result.Error, c.Error) << c.Label;
        EXPECT_EQ(result.Name, c.Name) << c.Label;
        EXPECT_EQ(result.Comment, c.Comment) << c.Label;
    }
}

TEST(JsonNameAnswer, PathsReachIntoArraysAndEscapedKeys) {
    const std::string body = R"({"data":[{"company":"Альфа","note":"долг"}],"a/b":{"c~d":"ключ"}})";
    struct PathCase {
        const wchar_t* NamePath;
        const wchar_t* CommentPath;
        TCrmNamesOutcome Outcome;
        const wchar_t* Name;
        const wchar_t* Comment;
    };
    const PathCase cases[] = {
        {L"/data/0/company", L"/data/0/note", TCrmNamesOutcome::Found, L"Альфа", L"долг"},
        {L"/a~1b/c~0d", L"", TCrmNamesOutcome::Found, L"ключ", L""},
        {L"/data/0/company", L"/data/0", TCrmNamesOutcome::Found, L"Альфа", L""},  // a comment that is no text
        {L"/data/1/company", L"", TCrmNamesOutcome::NotFound, L"", L""},
        {L"/data/x/company", L"", TCrmNamesOutcome::NotFound, L"", L""},
        {L"/data/-/company", L"", TCrmNamesOutcome::NotFound, L"", L""},
    };
    for (const PathCase& c : cases) {
        const TCrmNamesResult result = ReadNameAnswer(200, body, c.NamePath, c.CommentPath);
        EXPECT_EQ(result.Outcome, c.Outcome) << c.NamePath;
        EXPECT_EQ(result.Name, c.Name) << c.NamePath;
        EXPECT_EQ(result.Comment, c.Comment) << c.NamePath;
    }
    // A search that answers with a list is read the same way.
    EXPECT_EQ(ReadNameAnswer(200, R"([{"name":"Б"}])", L"/0/name", L"").Name, L"Б");
    EXPECT_EQ(ReadNameAnswer(200, "[]", L"/0/name", L"").Outcome, TCrmNamesOutcome::NotFound);
}

TEST(JsonNameAnswer, NestingIsCountedOutsideStringsOnly) {
    EXPECT_EQ(JsonNestingDepth(R"({"a":[{"b":[]}]})", 64), 4);
    EXPECT_EQ(JsonNestingDepth(R"({"a":"[[[[{{{{\"[[["})", 64), 1);
    EXPECT_EQ(JsonNestingDepth(std::string(1000000, '['), 64), 65);
    const std::string atLimit = std::string(kMaxAnswerDepth - 1, '[') + R"({"name":"x"})" +
                                std::string(kMaxAnswerDepth - 1, ']');
    EXPECT_EQ(ReadNameAnswer(200, atLimit, L"/0", L"").Error, TCrmNamesError::ValueNotText);
    const std::string overLimit = "[" + atLimit + "]";
    EXPECT_EQ(ReadNameAnswer(200, overLimit, L"/0", L"").Error, TCrmNamesError::TooDeep);
}

TEST(PlainNameText, ControlsAndDirectionTricksGoLinesBecomeOne) {
    struct TextCase {
        std::wstring In;
        size_t Max;
        std::wstring Out;
    };
    const TextCase cases[] = {
        {L"  Иванов\r\nИван\t", 100, L"Иванов  Иван"},
        {std::wstring(L"a\0b\x07" L"c\x7F" L"d\x85" L"e", 9), 100, L"abcde"},
        {L"\x202E" L"evil\x202C\x2066x\x2069\xFEFF", 100, L"evilx"},
        {L"abcdef", 3, L"abc"},
        {L"ab\xD83D\xDE00", 3, L"ab"},  // a surrogate pair is never split
        {L"ab \xD83D\xDE00", 4, L"ab"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(PlainNameText(c.In, c.Max), c.Out);
}

}  // namespace
