#include "SqlErrorMapping.h"

#include <cwctype>
#include <initializer_list>

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool Contains(const std::wstring& lowerText, std::initializer_list<const wchar_t*> parts) {
    for (const wchar_t* part : parts)
        if (lowerText.find(part) != std::wstring::npos) return true;
    return false;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// Drivers do not agree on SQLSTATEs for a broken link or a refused login
// (PostgreSQL's reports a wrong password as 08001, MariaDB's a lost
// connection as HY000), so the server's own words decide where the state does not.
// unixODBC (behind Wine's odbc32) reports a driver it cannot load as a warning (01000).
bool SaysNoDriver(const std::wstring& message) {
    return Contains(message, {L"can't open lib", L"data source name not found", L"driver could not be loaded",
                              L"specified driver could not be loaded"});
}
bool SaysLoginRefused(const std::wstring& message) {
    return Contains(message, {L"password authentication failed", L"access denied for user", L"login failed",
                              L"no password supplied", L"authentication failed", L"no pg_hba.conf entry"});
}
bool SaysLinkBroken(const std::wstring& message) {
    return Contains(message, {L"server closed the connection", L"lost connection", L"has gone away",
                              L"connection dead", L"could not send", L"could not receive", L"no connection to the server",
                              L"connection reset", L"broken pipe", L"terminating connection", L"connection is closed",
                              L"communication link failure", L"connection not open"});
}
bool SaysUnreachable(const std::wstring& message) {
    return Contains(message, {L"could not connect", L"connection refused", L"can't connect", L"could not translate host",
                              L"unknown server host", L"unknown mysql server host", L"timeout expired", L"timed out"});
}

bool IsPermissionState(const TOdbcDiagnostic& d, const std::wstring& message) {
    if (d.State == L"42501") return true;
    // MariaDB's table/column/database access denied; SQL Server's permission denied.
    const bool knownNumber = d.Native == 1142 || d.Native == 1143 || d.Native == 1044 || d.Native == 229 ||
                             d.Native == 230 || d.Native == 262;
    return StartsWith(d.State, L"42") && (knownNumber || Contains(message, {L"permission denied", L"command denied"}));
}

TSqlErrorKind KindOf(const TOdbcDiagnostic& d, TOdbcPhase phase) {
    const std::wstring message = Lower(d.Message);
    const TSqlErrorKind broken = phase == TOdbcPhase::Connect ? TSqlErrorKind::Unreachable : TSqlErrorKind::Lost;
    if (StartsWith(d.State, L"IM") || SaysNoDriver(message)) return TSqlErrorKind::Driver;
    if (StartsWith(d.State, L"28") || SaysLoginRefused(message)) return TSqlErrorKind::Login;
    if (d.State == L"HYT00" || d.State == L"HYT01") return TSqlErrorKind::Unreachable;
    // PostgreSQL's driver reports every failed connect as 08001, also one the
    // server answered and refused for a database it does not have.
    if (d.State == L"08001" && Contains(message, {L"does not exist"})) return TSqlErrorKind::Other;
    if (d.State == L"08001" || d.State == L"08004") return TSqlErrorKind::Unreachable;
    if (d.State == L"08S01" || d.State == L"08003" || d.State == L"08007" || StartsWith(d.State, L"57P"))
        return broken;
    // A statement the server gave up on for its time (PostgreSQL's statement
    // timeout, MariaDB's lock wait or statement time): busy now, try later.
    if (d.State == L"57014" || d.State == L"70100" || Contains(message, {L"lock wait timeout", L"max_statement_time"}))
        return TSqlErrorKind::Unreachable;
    if (d.State == L"42S02" || d.State == L"42P01") return TSqlErrorKind::NoTable;
    if (d.State == L"42S22" || d.State == L"42703") return TSqlErrorKind::MissingColumns;
    if (IsPermissionState(d, message)) return TSqlErrorKind::Permission;
    if (SaysLinkBroken(message)) return broken;
    if (phase == TOdbcPhase::Connect && SaysUnreachable(message)) return TSqlErrorKind::Unreachable;
    return TSqlErrorKind::None;
}

}  // namespace

TSqlError SqlErrorFromDiagnostics(const TOdbcDiagnostics& diagnostics, TOdbcPhase phase) {
    for (const TOdbcDiagnostic& d : diagnostics) {
        const TSqlErrorKind kind = KindOf(d, phase);
        if (kind != TSqlErrorKind::None) return {kind, d.State, d.Message};
    }
    if (diagnostics.empty()) return {TSqlErrorKind::Other, L"", L""};
    return {TSqlErrorKind::Other, diagnostics.front().State, diagnostics.front().Message};
}

bool IsTransactionConflict(const TOdbcDiagnostics& diagnostics) {
    for (const TOdbcDiagnostic& d : diagnostics) {
        // 40001 serialization failure or deadlock victim (MariaDB 1213, SQL Server 1205), 40P01 PostgreSQL's
        // deadlock; MariaDB's lock wait timeout (1205) comes as HY000.
        if (d.State == L"40001" || d.State == L"40P01" || d.Native == 1213) return true;
    }
    return false;
}

bool IsUniqueViolation(const TOdbcDiagnostics& diagnostics) {
    for (const TOdbcDiagnostic& d : diagnostics)
        if (StartsWith(d.State, L"23")) return true;
    return false;
}
