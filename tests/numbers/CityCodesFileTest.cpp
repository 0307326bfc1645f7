// The shipped city-code table (data/CityCodes.csv): its exact format, which the
// importer relies on, and the regions that common numbers resolve to.
#include <gtest/gtest.h>

#include "KordavinUtils.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CityRow {
    std::string code;
    std::wstring name;
};

std::string ReadTableBytes() {
    const std::filesystem::path path = ProgramFolder() + L"\\numbers-data\\CityCodes.csv";
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << "CityCodes.csv beside the test program";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::istringstream stream(bytes);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

class CityCodesFile : public testing::Test {
protected:
    static void SetUpTestSuite() {
        bytes_ = ReadTableBytes();
        const std::vector<std::string> lines = SplitLines(bytes_);
        for (size_t i = 1; i < lines.size(); ++i) {
            const size_t separator = lines[i].find(';');
            if (separator == std::string::npos) continue;
            rows_.push_back({lines[i].substr(0, separator), Utf8ToWide(lines[i].substr(separator + 1))});
            byCode_[rows_.back().code] = rows_.back().name;
        }
    }

    // The longest code with which the number begins, as the directory looks it up.
    static std::wstring RegionOf(const std::wstring& phone) {
        for (const std::wstring& key : CityCodeCandidates(phone)) {
            const auto found = byCode_.find(WideToUtf8(key));
            if (found != byCode_.end()) return found->second;
        }
        return {};
    }

    static std::string bytes_;
    static std::vector<CityRow> rows_;
    static std::map<std::string, std::wstring> byCode_;
};

std::string CityCodesFile::bytes_;
std::vector<CityRow> CityCodesFile::rows_;
std::map<std::string, std::wstring> CityCodesFile::byCode_;

TEST_F(CityCodesFile, HeaderLineEndingsAndEncoding) {
    ASSERT_FALSE(bytes_.empty());
    EXPECT_EQ(0u, bytes_.rfind("Code;City\n", 0)) << "no BOM, exact header";
    EXPECT_EQ(std::string::npos, bytes_.find('\r')) << "lines end with LF only";
    EXPECT_EQ('\n', bytes_.back());
    EXPECT_EQ(bytes_, WideToUtf8(Utf8ToWide(bytes_))) << "valid UTF-8 throughout";
    EXPECT_EQ(SplitLines(bytes_).size() - 1, rows_.size()) << "every line after the header is a row";
}

TEST_F(CityCodesFile, EveryRowIsAValidCodeAndName) {
    ASSERT_GT(rows_.size(), 150u);
    for (const CityRow& row : rows_) {
        SCOPED_TRACE(row.code);
        EXPECT_GE(row.code.size(), 2u);
        EXPECT_LE(row.code.size(), kMaxCityCodeLength);
        EXPECT_TRUE(std::all_of(row.code.begin(), row.code.end(), [](char c) { return c >= '0' && c <= '9'; }));
        EXPECT_EQ('7', row.code.front()) << "numbers of country code 7 only";
        EXPECT_FALSE(row.name.empty());
        EXPECT_LE(row.name.size(), 64u) << "the directory's name column holds 64 characters";
        EXPECT_EQ(std::wstring::npos, row.name.find(L';'));
        EXPECT_NE(L' ', row.name.front());
        EXPECT_NE(L' ', row.name.back());
    }
}

TEST_F(CityCodesFile, CodesAreUniqueAndSorted) {
    for (size_t i = 1; i < rows_.size(); ++i)
        EXPECT_LT(rows_[i - 1].code, rows_[i].code) << "row " << i + 1;
}

// A town's code always has its area's code in the table, so a town missing from
// the table still gets a region.
TEST_F(CityCodesFile, EveryTownCodeHasItsAreaCode) {
    for (const CityRow& row : rows_) {
        if (row.code.size() <= 4) continue;
        EXPECT_EQ(1u, byCode_.count(row.code.substr(0, 4))) << row.code;
    }
}

TEST_F(CityCodesFile, CommonNumbersResolveToTheirCity) {
    const struct {
        const wchar_t* phone;
        const wchar_t* region;
    } cases[] = {
        {L"74951234567", L"Москва"},
        {L"74991234567", L"Москва"},
        {L"78121234567", L"Санкт-Петербург"},
        {L"73431234567", L"Екатеринбург"},
        {L"73435123456", L"Нижний Тагил"},
        {L"73832123456", L"Новосибирск"},
        {L"78152123456", L"Мурманск"},
        {L"74012123456", L"Калининград"},
        {L"78482123456", L"Тольятти"},
        {L"78793712345", L"Кисловодск"},
        {L"78793312345", L"Пятигорск"},
        {L"73412123456", L"Ижевск"},
        {L"73419123456", L"Удмуртская Республика"},
        {L"78001234567", L"Бесплатный вызов"},
        {L"77172123456", L"Казахстан"},
        {L"7495123456", L""},
        {L"11234567890", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.region, RegionOf(c.phone)) << WideToUtf8(c.phone);
}

}  // namespace
