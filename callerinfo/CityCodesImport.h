#pragma once
#include <string>
#include <string_view>
#include <vector>

// Reading the city-code list kept as CSV and building the "CityCodes" table
// from it: UTF-8 (a byte-order mark is tolerated), the first line exactly
// "Code;City", then one "digits;name" line per code.

struct CityCodeRow {
    std::wstring code;
    std::wstring name;
};

struct CityCodesProblem {
    int line = 0;  // 1-based
    std::wstring message;
};

struct CityCodesCsv {
    std::vector<CityCodeRow> rows;
    std::vector<CityCodesProblem> problems;
};

CityCodesCsv ParseCityCodesCsv(std::string_view bytes);

// Builds "CityCodes.db" in the folder (created when missing), replacing an
// existing table only once the new one is complete.
void BuildCityCodesTable(const std::wstring& folder, const std::vector<CityCodeRow>& rows);
