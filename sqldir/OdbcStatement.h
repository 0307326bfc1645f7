// One prepared statement on an open connection: parameters always bound (text
// as UTF-16), results read a row at a time, texts of any length in chunks.
// Failures throw TOdbcFailure.
#pragma once
#include "OdbcHandles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TOdbcStatement {
public:
    // Prepares `sql`; every call on the statement may take at most
    // timeoutSeconds on the server (0: the driver's default).
    TOdbcStatement(SQLHDBC connection, const std::wstring& sql, unsigned timeoutSeconds);
    // A statement for a catalog call (SQLTablesW...): nothing prepared.
    TOdbcStatement(SQLHDBC connection, unsigned timeoutSeconds);

    // Parameters by their 1-based position; the values are kept until the next
    // bind of the same position, so a statement runs again with new ones.
    void BindText(unsigned position, const std::wstring& value);
    void BindBigint(unsigned position, int64_t value);
    void BindSmallint(unsigned position, int16_t value);
    // Milliseconds since 1970 in UTC, as a timestamp with milliseconds.
    void BindTimestamp(unsigned position, int64_t unixMs);

    void Execute();
    // Rows the last UPDATE or INSERT touched.
    long long RowCount();

    // The next row of the result; false after the last (the cursor is closed then).
    bool Fetch();
    void CloseCursor() noexcept;
    // Columns by their 1-based position in the select list, read in order.
    std::wstring Text(unsigned column);
    int64_t Bigint(unsigned column);
    // Names of the result's columns.
    std::vector<std::wstring> ColumnNames();

    SQLHSTMT get() const noexcept { return statement_.get(); }

private:
    struct TParameter {
        std::wstring Text;
        int64_t Integer = 0;
        int16_t Small = 0;
        SQL_TIMESTAMP_STRUCT Timestamp{};
        SQLLEN Indicator = 0;
    };
    TParameter& Slot(unsigned position);
    // The value at `value` (`bytes` long; 0 for a fixed-size one) as parameter `position`.
    void Bind(unsigned position, TParameter& p, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
              SQLSMALLINT digits, SQLPOINTER value, SQLLEN bytes);
    void Check(SQLRETURN result) const;

    UniqueOdbcStatement statement_;
    // Stable addresses: the driver reads the bound values at Execute.
    std::vector<std::unique_ptr<TParameter>> parameters_;
};
