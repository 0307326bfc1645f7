#pragma once
#include <string>

// Who makes a change of the SQL subscriber directory, as the server keeps it:
// "DOMAIN\user on COMPUTER" (no domain part when the session has none).
std::wstring SqlChangeAuthor();
