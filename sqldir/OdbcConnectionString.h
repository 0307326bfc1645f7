// The connection string the driver gets: the settings' one with the password.
#pragma once
#include <string>

// Appends Pwd={...} (a closing brace in the password doubled, as ODBC escapes
// it), after a ';' when the settings' string lacks one at its end. No
// password: the string as it is.
std::wstring ConnectionStringWithPassword(const std::wstring& connection, const std::wstring& password);
