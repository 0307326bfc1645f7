// The connection string the driver gets: the settings' one with the password.
#pragma once
#include <string>

// Appends Pwd={...} (a closing brace in the password doubled, as ODBC escapes
// it), after a ';' when the settings' string lacks one at its end. No
// password: the string as it is. The result is the only copy made: the caller
// wipes it once the driver has it.
std::wstring ConnectionStringWithPassword(const std::wstring& connection, const std::wstring& password);

// MariaDB's driver keeps the login timeout attribute to nothing and then waits
// for a silent server's greeting, or a hung server's answer, for ever; its own
// keywords bound every wait (MySQL's driver has the read and write ones too).
// PostgreSQL's keeps its query timeout on the server, so a connection whose
// server went away (cable, power) is found dead by TCP keepalives, sent after
// 30 s of silence instead of the system's two hours. Other drivers' strings,
// and one that sets any of these already, stay as they are.
std::wstring ConnectionStringWithTimeouts(const std::wstring& connection, unsigned loginSeconds,
                                          unsigned querySeconds);
