// The city-code directory: longest-code lookup and its folder rules.
#include <gtest/gtest.h>

#include "DirectoryTestSupport.h"
#include "TestFolders.h"
#include "tqrUnit.h"

TEST(CityCodesModule, LongestCodeOfAtMostEightCharactersWins) {
    TempFolder folder;
    MakeCityTable(folder.path(), {{L"7", L"Россия"},
                                  {L"7495", L"Москва"},
                                  {L"7343", L"Екатеринбург"},
                                  {L"73435", L"Нижний Тагил"},
                                  {L"79161234", L"Восемь знаков"},
                                  {L"791612345", L"Девять знаков"},
                                  {L"38", L"Украина"}});
    TTQRDataModule module(folder.path());
    EXPECT_EQ(L"", module.CityByPhone(L"74951234567"));  // closed: empty, no error
    module.Open();
    ASSERT_TRUE(module.Active());

    struct Case {
        const wchar_t* phone;
        const wchar_t* region;
    } cases[] = {
        {L"74951234567", L"Москва"},
        {L"73435123456", L"Нижний Тагил"},
        {L"73431234567", L"Екатеринбург"},
        {L"78121234567", L"Россия"},
        {L"79161234567", L"Восемь знаков"},
        {L"79161234599", L"Восемь знаков"},  // the 9-character code is never tried
        {L"7495123456", L""},                // shorter than 11 characters
        {L"380441234567", L"Украина"},
        {L"12345678901", L""},
        {L"", L""},
        {L"7495 123 45 67", L"Москва"},
        {L"***********", L""},
        {L"##7495######", L""},
        {L"7495123456712345678901234567890123456789", L"Москва"},
        {L"семьсот девяносто пять", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.region, module.CityByPhone(c.phone)) << testing::PrintToString(std::wstring(c.phone));

    module.Close();
    module.Close();  // closing a closed module does nothing
    EXPECT_FALSE(module.Active());
    EXPECT_EQ(L"", module.CityByPhone(L"74951234567"));
}

TEST(CityCodesModule, FolderChangeReopensAnOpenTableAndOnlyRecordsOnAClosedOne) {
    TempFolder first, second, empty;
    MakeCityTable(first.path(), {{L"7495", L"Москва"}});
    MakeCityTable(second.path(), {{L"7495", L"Другая Москва"}});
    TTQRDataModule module(first.path());

    module.SetCityCodesDir(second.path());  // closed: only recorded
    EXPECT_FALSE(module.Active());
    EXPECT_EQ(second.path(), module.CityCodesDir());
    module.Open();
    EXPECT_EQ(L"Другая Москва", module.CityByPhone(L"74951234567"));

    module.SetCityCodesDir(first.path());
    EXPECT_TRUE(module.Active());
    EXPECT_EQ(L"Москва", module.CityByPhone(L"74951234567"));

    module.SetCityCodesDir(first.path() + L"\\");  // same folder spelled differently: reopened
    EXPECT_TRUE(module.Active());
    EXPECT_EQ(first.path() + L"\\", module.CityCodesDir());
    EXPECT_EQ(L"Москва", module.CityByPhone(L"74951234567"));

    // A folder without the table: the reopen fails and the module stays closed.
    EXPECT_THROW(module.SetCityCodesDir(empty.path()), TableStoreError);
    EXPECT_FALSE(module.Active());
    EXPECT_EQ(L"", module.CityByPhone(L"74951234567"));
    EXPECT_THROW(module.Open(), TableStoreError);
    EXPECT_FALSE(PathExists(empty.file(L"CityCodes.db")));  // never created
}

TEST(CityCodesModule, DamagedTableFailsToOpenAndIsLeftAsItWas) {
    TempFolder folder;
    const std::string garbage(3000, '\x5a');
    WriteBytes(folder.file(L"CityCodes.db"), garbage);
    TTQRDataModule module(folder.path());
    try {
        module.Open();
        FAIL() << "opened a damaged table";
    } catch (const TableStoreError& error) {
        EXPECT_EQ(TableStoreError::Kind::Damaged, error.kind());
        EXPECT_NE(std::wstring::npos, error.message().find(L"CityCodes"));
    }
    EXPECT_FALSE(module.Active());
    EXPECT_EQ(garbage, ReadBytes(folder.file(L"CityCodes.db")));
}

TEST(CityCodesModule, AFileReplacedWhileOpenIsReadAgainAndAnUnreadableOneKeepsTheCodes) {
    TempFolder folder;
    MakeCityTable(folder.path(), {{L"7495", L"Москва"}, {L"7812", L"Санкт-Петербург"}});
    TTQRDataModule module(folder.path());
    module.Open();
    EXPECT_EQ(L"Москва", module.CityByPhone(L"74951234567"));
    const std::wstring file = folder.file(L"CityCodes.db");
    const auto afterTheNextCheck = [] { ::Sleep(static_cast<DWORD>(TTQRDataModule::kChangeCheckMs) + 100); };

    // An administrator replaces the file while the program runs: the module
    // holds no handle on it, and the next check reads the new one.
    MakeCityTable(folder.path(), {{L"7495", L"Столица"}, {L"7343", L"Екатеринбург"}});
    afterTheNextCheck();
    EXPECT_EQ(L"Столица", module.CityByPhone(L"74951234567"));
    EXPECT_EQ(L"", module.CityByPhone(L"78121234567"));
    EXPECT_EQ(L"Екатеринбург", module.CityByPhone(L"73431234567"));

    // Missing for a moment, or not a table: the codes read before serve.
    ASSERT_TRUE(::DeleteFileW(file.c_str()));
    afterTheNextCheck();
    EXPECT_EQ(L"Столица", module.CityByPhone(L"74951234567"));
    WriteBytes(file, std::string(5000, '\x5a'));
    afterTheNextCheck();
    EXPECT_EQ(L"Столица", module.CityByPhone(L"74951234567"));
    EXPECT_TRUE(module.Active());

    // A good table again is read at the next check after it appears.
    MakeCityTable(folder.path(), {{L"7495", L"Снова Москва"}});
    afterTheNextCheck();
    EXPECT_EQ(L"Снова Москва", module.CityByPhone(L"74951234567"));
    EXPECT_EQ(L"", module.CityByPhone(L"73431234567"));

    // Closing forgets the codes; opening reads the file as it is now.
    module.Close();
    EXPECT_EQ(L"", module.CityByPhone(L"74951234567"));
    module.Open();
    EXPECT_EQ(L"Снова Москва", module.CityByPhone(L"74951234567"));
}
