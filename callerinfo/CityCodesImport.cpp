#include "CityCodesImport.h"

#include "TableStore.h"
#include "TextConvert.h"
#include "tqrUnit.h"

#include <windows.h>

#include <map>

namespace {

constexpr size_t kShortestCode = 2;
constexpr size_t kLongestCode = 8;
constexpr int kCodeWidth = 9;
constexpr int kNameWidth = 64;

bool ValidUtf8(std::string_view text) {
    return text.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                                 static_cast<int>(text.size()), nullptr, 0) > 0;
}

// Checks one data line; an empty message means the row is good.
std::wstring CheckRow(std::string_view line, CityCodeRow& row) {
    if (line.empty()) return L"empty line";
    if (!ValidUtf8(line)) return L"not valid UTF-8";
    const size_t separator = line.find(';');
    if (separator == std::string_view::npos) return L"expected \"code;name\"";
    if (line.find(';', separator + 1) != std::string_view::npos) return L"more than one ';'";
    const std::string_view code = line.substr(0, separator);
    const std::string_view name = line.substr(separator + 1);
    if (code.find_first_not_of("0123456789") != std::string_view::npos) return L"the code must hold digits only";
    if (code.size() < kShortestCode || code.size() > kLongestCode) return L"the code must have 2 to 8 digits";
    row.code = Utf8ToWide(code);
    row.name = Utf8ToWide(name);
    if (row.name.empty()) return L"the name is empty";
    if (row.name.size() > static_cast<size_t>(kNameWidth)) return L"the name is longer than 64 characters";
    return {};
}

}  // namespace

CityCodesCsv ParseCityCodesCsv(std::string_view bytes) {
    CityCodesCsv result;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    if (lines.empty() || lines[0] != "Code;City") {
        result.problems.push_back({1, L"the first line must be exactly \"Code;City\""});
        return result;
    }
    std::map<std::wstring, int> firstLineOf;
    for (size_t i = 1; i < lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        CityCodeRow row;
        if (std::wstring problem = CheckRow(lines[i], row); !problem.empty()) {
            result.problems.push_back({number, std::move(problem)});
            continue;
        }
        if (auto [at, added] = firstLineOf.emplace(row.code, number); !added) {
            result.problems.push_back(
                {number, L"code " + row.code + L" is already on line " + std::to_wstring(at->second)});
            continue;
        }
        result.rows.push_back(std::move(row));
    }
    if (result.rows.empty() && result.problems.empty()) result.problems.push_back({1, L"no codes in the file"});
    return result;
}

void BuildCityCodesTable(const std::wstring& folder, const std::vector<CityCodeRow>& rows) {
    TableDatabase database;
    database.Connect(folder);
    std::vector<std::vector<std::wstring>> values;
    values.reserve(rows.size());
    for (const CityCodeRow& row : rows) values.push_back({row.code, row.name});
    database.CreateTable(TTQRDataModule::kTableName,
                         {{TTQRDataModule::kCodeField, FieldKind::String, kCodeWidth, true},
                          {TTQRDataModule::kNameField, FieldKind::String, kNameWidth, true}},
                         {{L"", {TTQRDataModule::kCodeField}, true, true}}, values,
                         TableDatabase::CreateMode::ReplaceExisting);
}
