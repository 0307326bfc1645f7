#pragma once
#include <string>

// The common data folder as an installer sees it ("…\Kordavin Data" below the
// machine's "Common AppData"); empty when the machine names no such folder (the
// program's own fallback, its executable's folder, means nothing to an
// installer, whose executable is Windows Installer's).
std::wstring InstallerDataRoot();

// Where an installation puts the shipped city-code table: the folder the
// program will read it from (the INI file's "AreaCodesPath" beside the program,
// else the city-code folder below the common data folder), without a trailing
// delimiter. Empty when a "CityCodes.db" is there already (the one supplied with
// the recording product, or edited by the administrator, stays), or when there
// is no such folder.
std::wstring CityCodesFolderToBuild(const std::wstring& installFolder);
