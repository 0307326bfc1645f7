// citycodes.exe: a good list builds the table, a bad one builds nothing.
#include <gtest/gtest.h>

#include "DirectoryTestSupport.h"
#include "ProcessRunner.h"
#include "TestFolders.h"
#include "CityCodesImport.h"
#include "tqrUnit.h"

namespace {

ProgramResult RunCityCodes(const std::wstring& csv, const std::wstring& folder) {
    return RunProgram(QuoteArgument(ProgramFolder() + L"\\citycodes.exe") + L" " + QuoteArgument(csv) + L" " +
                      QuoteArgument(folder));
}

}  // namespace

TEST(CityCodesCsv, EachBadLineIsNamedWithItsNumber) {
    std::string longName;
    for (int i = 0; i < 65; ++i) longName += "Я";
    const std::string text =
        "\xEF\xBB\xBF" "Code;City\r\n"
        "7495;Москва\r\n"
        "7;Россия\n"
        "74a5;Буквы\n"
        "7495;Снова Москва\n"
        "123456789;Девять\n"
        "7812\n"
        "7813;Имя;с точкой с запятой\n"
        "\n"
        "7814;\n"
        "7815;" + longName + "\n"
        "7816;\xFF\xFE\n"
        "78;Хорошая\n";
    const CityCodesCsv csv = ParseCityCodesCsv(text);
    std::vector<int> lines;
    for (const auto& problem : csv.problems) lines.push_back(problem.line);
    EXPECT_EQ((std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), lines);
    ASSERT_EQ(2u, csv.rows.size());
    EXPECT_EQ(L"Москва", csv.rows[0].name);
    EXPECT_EQ(L"78", csv.rows[1].code);
    EXPECT_NE(std::wstring::npos, csv.problems[2].message.find(L"line 2"));  // the duplicate's first line

    EXPECT_EQ(1, ParseCityCodesCsv("code;city\n7495;Москва\n").problems.at(0).line);
    EXPECT_FALSE(ParseCityCodesCsv("").problems.empty());
    EXPECT_FALSE(ParseCityCodesCsv("Code;City\n").problems.empty());
    EXPECT_TRUE(ParseCityCodesCsv("Code;City\n7495;Москва").problems.empty());
}

TEST(CityCodesTool, GoodFileBuildsATableTheDirectoryReads) {
    TempFolder folder;
    WriteBytes(folder.file(L"codes.csv"), "Code;City\n78;Северо-Запад\n7495;Москва\n73435;Нижний Тагил\n");
    const std::wstring target = folder.file(L"out\\TQR");
    const ProgramResult result = RunCityCodes(folder.file(L"codes.csv"), target);
    EXPECT_EQ(0u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("3 codes"));
    EXPECT_EQ(std::vector<std::wstring>{L"CityCodes.db"}, FolderEntries(target));

    TTQRDataModule module(target);
    module.Open();
    EXPECT_EQ(L"Нижний Тагил", module.CityByPhone(L"73435123456"));
    EXPECT_EQ(L"Северо-Запад", module.CityByPhone(L"78121234567"));
    module.Close();

    // Building again replaces the table.
    WriteBytes(folder.file(L"codes.csv"), "Code;City\n7495;Столица\n");
    EXPECT_EQ(0u, RunCityCodes(folder.file(L"codes.csv"), target).exitCode);
    module.Open();
    EXPECT_EQ(L"Столица", module.CityByPhone(L"74951234567"));
    EXPECT_EQ(L"", module.CityByPhone(L"73435123456"));
}

TEST(CityCodesTool, FileWithErrorsBuildsNothingAndNamesTheLines) {
    TempFolder folder;
    const std::wstring target = folder.file(L"TQR");
    MakeCityTable(target, {{L"7495", L"Москва"}});
    const std::string before = ReadBytes(target + L"\\CityCodes.db");

    WriteBytes(folder.file(L"bad.csv"), "Code;City\n7495;Москва\n7x;Плохой\n7495;Дубль\n");
    const ProgramResult result = RunCityCodes(folder.file(L"bad.csv"), target);
    EXPECT_NE(0u, result.exitCode);
    EXPECT_NE(std::string::npos, result.output.find("bad.csv:3:")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("bad.csv:4:")) << result.output;
    EXPECT_EQ(std::string::npos, result.output.find("bad.csv:2:")) << result.output;
    EXPECT_EQ(before, ReadBytes(target + L"\\CityCodes.db"));
    EXPECT_EQ(std::vector<std::wstring>{L"CityCodes.db"}, FolderEntries(target));

    const std::wstring fresh = folder.file(L"fresh");
    EXPECT_NE(0u, RunCityCodes(folder.file(L"bad.csv"), fresh).exitCode);
    EXPECT_FALSE(PathExists(fresh + L"\\CityCodes.db"));
    EXPECT_NE(0u, RunCityCodes(folder.file(L"missing.csv"), fresh).exitCode);
    EXPECT_NE(0u, RunProgram(QuoteArgument(ProgramFolder() + L"\\citycodes.exe")).exitCode);
}
