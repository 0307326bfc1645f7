#pragma once
#include <string>

// Who makes a change of the SQL directory, as the table's "changed by" column
// keeps it: "DOMAIN\user on COMPUTER" (the user's name alone where Windows
// gives no domain form).
std::wstring SqlChangeAuthor();
