// What the settings window and the start-up say about an unreadable allow-list.
#include <gtest/gtest.h>

#include "AllowListText.h"

TEST(AllowListText, NamesTheEntryAndSaysWhatToWriteForEachProblem) {
    using P = TAllowListProblem;
    const struct {
        TUnreadableEntry entry;
        const wchar_t* told;
    } cases[] = {
        {{P::NotAnAddress, L"сервер"}, L"«сервер» в списке разрешённых клиентов — не IPv4-адрес и не диапазон."},
        {{P::Wildcard, L"192.168.1.*"}, L"«192.168.1.*» в списке разрешённых клиентов: звёздочки не поддерживаются."},
        {{P::WrongSeparator, L"10.0.0.7;10.0.0.8"},
         L"«10.0.0.7;10.0.0.8» в списке разрешённых клиентов: записи разделяются запятыми"},
        {{P::BadPrefixLength, L"10.0.0.1/33"}, L"«10.0.0.1/33» в списке разрешённых клиентов: после «/» указывается"},
        // The entry's own percent signs are text.
        {{P::NotAnAddress, L"%s%1"}, L"«%s%1» в списке"},
    };
    for (const auto& c : cases) {
        const std::wstring apply = UnreadableAllowListText(c.entry, TAllowListContext::Apply);
        EXPECT_EQ(0u, apply.find(c.told)) << testing::PrintToString(apply);
        EXPECT_NE(std::wstring::npos, apply.find(L"Настройки не применены.")) << testing::PrintToString(apply);
        const std::wstring startup = UnreadableAllowListText(c.entry, TAllowListContext::Startup);
        EXPECT_EQ(0u, startup.find(c.told)) << testing::PrintToString(startup);
        EXPECT_NE(std::wstring::npos, startup.find(L"DBAllowedClients в файле настроек")) << testing::PrintToString(startup);
        EXPECT_EQ(std::wstring::npos, startup.find(L"не применены")) << testing::PrintToString(startup);
    }
}
