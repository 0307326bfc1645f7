#include "AppError.h"
#include "DpapiText.h"

#include <gtest/gtest.h>

namespace {

TEST(DpapiText, TextComesBackForTheSameUserAndIsNotReadableAsWritten) {
    const std::wstring secret = L"Authorization: Bearer сек-рет.123";
    const std::wstring stored = ProtectForUser(secret);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.find(L"Bearer"), std::wstring::npos);
    EXPECT_EQ(stored.find_first_of(L"\r\n\"; "), std::wstring::npos);  // one INI value as it stands
    std::wstring back;
    ASSERT_TRUE(UnprotectForUser(stored, back));
    EXPECT_EQ(back, secret);
}

TEST(DpapiText, EmptyStaysEmpty) {
    EXPECT_EQ(ProtectForUser(L""), L"");
    std::wstring back = L"x";
    EXPECT_TRUE(UnprotectForUser(L"", back));
    EXPECT_EQ(back, L"");
}

TEST(DpapiText, ValuesNotProtectedByUsAreRefused) {
    // A header typed into the file by hand, text that is no base64, base64 of plain bytes.
    const std::wstring cases[] = {L"Authorization: Bearer abc", L"not base64 !!", L"QUJD"};
    for (const std::wstring& value : cases) {
        std::wstring back = L"left over";
        EXPECT_FALSE(UnprotectForUser(value, back)) << value;
        EXPECT_EQ(back, L"") << value;
    }
}

}  // namespace
