// The table's name from the settings is the one piece of SQL text the program
// does not bind as a parameter: it must be a plain name before it is quoted.
#pragma once
#include <optional>
#include <string>

// Letters, digits and underscores, not starting with a digit, optionally one
// schema part before a dot: "KordavinAbonentPhones", "dbo.Phones".
bool IsPlainTableName(const std::wstring& name);

// The name quoted for SQL with the driver's identifier quote (each part on its
// own); nothing when it is not a plain name. A quote of " " (the driver quotes
// nothing) leaves the plain name as it is.
std::optional<std::wstring> QuotedTableName(const std::wstring& name, const std::wstring& quote);
