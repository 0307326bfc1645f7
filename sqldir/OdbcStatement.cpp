#include "OdbcStatement.h"

#include "OdbcDiagnostics.h"

#include <algorithm>
#include <ctime>

namespace {

// Longer texts go as long data: SQL Server wants it for nvarchar(max) values
// above 4,000 characters, and the other drivers take it as well.
constexpr size_t kLongTextAbove = 4000;
constexpr SQLLEN kChunkChars = 8192;

SQL_TIMESTAMP_STRUCT TimestampOf(int64_t unixMs) {
    int64_t seconds = unixMs / 1000;
    int64_t millis = unixMs % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const __time64_t time = seconds;
    std::tm parts{};
    SQL_TIMESTAMP_STRUCT value{};
    if (_gmtime64_s(&parts, &time) != 0) return value;
    value.year = static_cast<SQLSMALLINT>(parts.tm_year + 1900);
    value.month = static_cast<SQLUSMALLINT>(parts.tm_mon + 1);
    value.day = static_cast<SQLUSMALLINT>(parts.tm_mday);
    value.hour = static_cast<SQLUSMALLINT>(parts.tm_hour);
    value.minute = static_cast<SQLUSMALLINT>(parts.tm_min);
    value.second = static_cast<SQLUSMALLINT>(parts.tm_sec);
    value.fraction = static_cast<SQLUINTEGER>(millis * 1000000);  // nanoseconds
    return value;
}

}  // namespace

TOdbcStatement::TOdbcStatement(SQLHDBC connection, const std::wstring& sql, unsigned timeoutSeconds)
    : TOdbcStatement(connection, timeoutSeconds) {
    std::wstring text = sql;
    Check(::SQLPrepareW(statement_.get(), reinterpret_cast<SQLWCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size())));
}

TOdbcStatement::TOdbcStatement(SQLHDBC connection, unsigned timeoutSeconds) {
    SQLHSTMT handle = SQL_NULL_HSTMT;
    CheckOdbc(::SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle), SQL_HANDLE_DBC, connection);
    statement_.reset(handle);
    if (timeoutSeconds != 0) {
        // A driver that cannot keep to it says so with information; the connection's own timeouts still hold.
        ::SQLSetStmtAttrW(handle, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)),
                          0);
    }
}

void TOdbcStatement::Check(SQLRETURN result) const { CheckOdbc(result, SQL_HANDLE_STMT, statement_.get()); }

TOdbcStatement::TParameter& TOdbcStatement::Slot(unsigned position) {
    if (parameters_.size() < position) parameters_.resize(position);
    auto& slot = parameters_[position - 1];
    if (!slot) slot = std::make_unique<TParameter>();
    return *slot;
}

void TOdbcStatement::Bind(unsigned position, TParameter& p, SQLSMALLINT cType, SQLSMALLINT sqlType,
                          SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value, SQLLEN bytes) {
    p.Indicator = bytes;
    Check(::SQLBindParameter(statement_.get(), static_cast<SQLUSMALLINT>(position), SQL_PARAM_INPUT, cType, sqlType,
                             columnSize, digits, value, bytes, &p.Indicator));
}

void TOdbcStatement::BindText(unsigned position, const std::wstring& value) {
    TParameter& p = Slot(position);
    p.Text = value;
    const bool isLong = p.Text.size() > kLongTextAbove;
    Bind(position, p, SQL_C_WCHAR, isLong ? SQL_WLONGVARCHAR : SQL_WVARCHAR, std::max<SQLULEN>(p.Text.size(), 1), 0,
         p.Text.data(), static_cast<SQLLEN>(p.Text.size() * sizeof(wchar_t)));
}

void TOdbcStatement::BindBigint(unsigned position, int64_t value) {
    TParameter& p = Slot(position);
    p.Integer = value;
    Bind(position, p, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.Integer, 0);
}

void TOdbcStatement::BindSmallint(unsigned position, int16_t value) {
    TParameter& p = Slot(position);
    p.Small = value;
    Bind(position, p, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &p.Small, 0);
}

void TOdbcStatement::BindTimestamp(unsigned position, int64_t unixMs) {
    TParameter& p = Slot(position);
    p.Timestamp = TimestampOf(unixMs);
    // "yyyy-mm-dd hh:mm:ss.fff": 23 characters, 3 digits of fraction.
    Bind(position, p, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &p.Timestamp, 0);
}

void TOdbcStatement::Execute() {
    const SQLRETURN result = ::SQLExecute(statement_.get());
    // An UPDATE or a SELECT that touched no row is no failure.
    if (result == SQL_NO_DATA) return;
    Check(result);
}

long long TOdbcStatement::RowCount() {
    SQLLEN rows = 0;
    Check(::SQLRowCount(statement_.get(), &rows));
    return rows;
}

bool TOdbcStatement::Fetch() {
    const SQLRETURN result = ::SQLFetch(statement_.get());
    if (result == SQL_NO_DATA) {
        CloseCursor();
        return false;
    }
    Check(result);
    return true;
}

void TOdbcStatement::CloseCursor() noexcept { ::SQLFreeStmt(statement_.get(), SQL_CLOSE); }

std::wstring TOdbcStatement::Text(unsigned column) {
    std::wstring text;
    std::wstring chunk(static_cast<size_t>(kChunkChars), L'\0');
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result = ::SQLGetData(statement_.get(), static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR,
                                              chunk.data(), kChunkChars * static_cast<SQLLEN>(sizeof(wchar_t)),
                                              &indicator);
        if (result == SQL_NO_DATA) break;
        Check(result);
        if (indicator == SQL_NULL_DATA) break;
        // A full buffer holds one character less than its size: the driver ends it with a NUL.
        const SQLLEN available = indicator == SQL_NO_TOTAL || indicator / static_cast<SQLLEN>(sizeof(wchar_t)) >= kChunkChars
                                     ? kChunkChars - 1
                                     : indicator / static_cast<SQLLEN>(sizeof(wchar_t));
        text.append(chunk.data(), static_cast<size_t>(available));
        if (result == SQL_SUCCESS) break;
    }
    return text;
}

int64_t TOdbcStatement::Bigint(unsigned column) {
    int64_t value = 0;
    SQLLEN indicator = 0;
    Check(::SQLGetData(statement_.get(), static_cast<SQLUSMALLINT>(column), SQL_C_SBIGINT, &value, sizeof(value),
                       &indicator));
    return indicator == SQL_NULL_DATA ? 0 : value;
}

std::vector<std::wstring> TOdbcStatement::ColumnNames() {
    SQLSMALLINT count = 0;
    Check(::SQLNumResultCols(statement_.get(), &count));
    std::vector<std::wstring> names;
    for (SQLSMALLINT column = 1; column <= count; ++column) {
        std::wstring name(256, L'\0');
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        Check(::SQLDescribeColW(statement_.get(), static_cast<SQLUSMALLINT>(column),
                                reinterpret_cast<SQLWCHAR*>(name.data()), static_cast<SQLSMALLINT>(name.size()),
                                &length, &type, &size, &digits, &nullable));
        name.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), name.size() - 1));
        names.push_back(std::move(name));
    }
    return names;
}
