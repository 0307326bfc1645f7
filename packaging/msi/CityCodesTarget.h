#pragma once
#include <string>

// Where an installation builds the shipped city-code table: the folder the
// program will read it from (the INI file's "AreaCodesPath" beside the program,
// else the common data folder), without a trailing delimiter. Empty when a
// "CityCodes.db" is there already: the one supplied with the recording product,
// or edited by the administrator, stays.
std::wstring CityCodesFolderToBuild(const std::wstring& installFolder);
