#include "OdbcDirectoryServer.h"

#include "OdbcConnectionString.h"
#include "OdbcDiagnostics.h"
#include "OdbcStatement.h"
#include "SqlErrorMapping.h"
#include "SqlTableName.h"

#include <cwctype>
#include <utility>

namespace {

// The columns the sync needs, as the scripts in packaging/sql create them.
constexpr const wchar_t* kColumns[] = {L"Phone",       L"AbonentName", L"AbonentComment", L"Deleted",
                                       L"ChangeStamp", L"ChangedBy",   L"ChangedAt"};

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

std::wstring InfoText(SQLHDBC connection, SQLUSMALLINT what) {
    wchar_t buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(::SQLGetInfoW(connection, what, buffer, sizeof(buffer), &length))) return {};
    return buffer;
}

SQLPOINTER IntegerAttribute(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

}  // namespace

TOdbcDirectoryServer::TOdbcDirectoryServer(TSqlDirectorySettings settings, TOdbcServerOptions options)
    : settings_(std::move(settings)), options_(options) {}

TOdbcDirectoryServer::~TOdbcDirectoryServer() {
    Close();
    // Kept for connecting again, and no longer.
    ::SecureZeroMemory(settings_.Password.data(), settings_.Password.size() * sizeof(wchar_t));
}

void TOdbcDirectoryServer::Close() noexcept {
    ready_ = false;
    update_.reset();
    insert_.reset();
    connection_.reset();
    environment_.reset();
    dbmsName_.clear();
    quotedTable_.clear();
}

bool TOdbcDirectoryServer::ConnectionDead() const noexcept {
    if (!connection_) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN result = ::SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(result) && dead == SQL_CD_TRUE;
}

TSqlError TOdbcDirectoryServer::Fail(const TOdbcFailure& failure) {
    TSqlError error = SqlErrorFromDiagnostics(failure.Diagnostics, TOdbcPhase::Operation);
    if (error.Kind != TSqlErrorKind::Lost && ConnectionDead()) error.Kind = TSqlErrorKind::Lost;
    if (error.Kind == TSqlErrorKind::NoTable) error.Detail = settings_.Table;
    if (error.Kind == TSqlErrorKind::Lost) Close();
    return error;
}

TSqlError TOdbcDirectoryServer::Connect() {
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)))
        return {TSqlErrorKind::Driver, L"", L"ODBC is not available"};
    environment_.reset(environment);
    ::SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, IntegerAttribute(SQL_OV_ODBC3), 0);
    SQLHDBC connection = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(::SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
        const TSqlError error =
            SqlErrorFromDiagnostics(ReadOdbcDiagnostics(SQL_HANDLE_ENV, environment), TOdbcPhase::Connect);
        Close();
        return error;
    }
    connection_.reset(connection);
    // Drivers that cannot keep to a timeout say so with information and go on.
    ::SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(options_.LoginSeconds), 0);
    ::SQLSetConnectAttrW(connection, SQL_ATTR_CONNECTION_TIMEOUT, IntegerAttribute(options_.QuerySeconds), 0);
    std::wstring text = ConnectionStringWithPassword(
        ConnectionStringWithTimeouts(settings_.Connection, options_.LoginSeconds, options_.QuerySeconds), settings_.Password);
    SQLSMALLINT outLength = 0;
    const SQLRETURN result = ::SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                                                 static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &outLength,
                                                 SQL_DRIVER_NOPROMPT);
    // The password leaves memory with the call.
    ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    if (!SQL_SUCCEEDED(result)) {
        TSqlError error =
            SqlErrorFromDiagnostics(ReadOdbcDiagnostics(SQL_HANDLE_DBC, connection), TOdbcPhase::Connect);
        // A connection that never stood cannot have been lost.
        if (error.Kind == TSqlErrorKind::Lost) error.Kind = TSqlErrorKind::Unreachable;
        Close();
        return error;
    }
    dbmsName_ = InfoText(connection, SQL_DBMS_NAME);
    failedStatementEndsTransaction_ = dbmsName_.find(L"PostgreSQL") != std::wstring::npos;
    // Read committed everywhere: MariaDB's default (repeatable read) locks the
    // gaps an update of a missing number looks at, and two workstations'
    // inserts then wait for each other.
    ::SQLSetConnectAttrW(connection, SQL_ATTR_TXN_ISOLATION, IntegerAttribute(SQL_TXN_READ_COMMITTED), 0);
    const auto quoted = QuotedTableName(settings_.Table, InfoText(connection, SQL_IDENTIFIER_QUOTE_CHAR));
    quotedTable_ = quoted.value_or(std::wstring());
    return {};
}

TSqlError TOdbcDirectoryServer::CheckColumns() {
    try {
        TOdbcStatement select(connection_.get(), L"SELECT * FROM " + quotedTable_ + L" WHERE 1=0",
                              options_.QuerySeconds);
        select.Execute();
        const std::vector<std::wstring> names = select.ColumnNames();
        select.CloseCursor();
        std::wstring missing;
        for (const wchar_t* column : kColumns) {
            bool found = false;
            for (const std::wstring& name : names) found = found || SameName(name, column);
            if (!found) missing += (missing.empty() ? L"" : L", ") + std::wstring(column);
        }
        if (!missing.empty()) return {TSqlErrorKind::MissingColumns, L"", missing};
        return {};
    } catch (const TOdbcFailure& failure) {
        TSqlError error = Fail(failure);
        // MariaDB and MySQL refuse a table the account has no grant on, also one
        // that is not there; the catalog shows the account only the tables it may use.
        if (error.Kind == TSqlErrorKind::Permission && connection_ && !TableVisible()) {
            error.Kind = TSqlErrorKind::NoTable;
            error.Detail = settings_.Table;
        }
        return error;
    }
}

bool TOdbcDirectoryServer::TableVisible() {
    const size_t dot = settings_.Table.find(L'.');
    std::wstring schema = dot == std::wstring::npos ? std::wstring() : settings_.Table.substr(0, dot);
    std::wstring table = dot == std::wstring::npos ? settings_.Table : settings_.Table.substr(dot + 1);
    // The catalog takes patterns, where '_' stands for any character.
    const std::wstring escape = InfoText(connection_.get(), SQL_SEARCH_PATTERN_ESCAPE);
    std::wstring pattern;
    for (const wchar_t c : table) {
        if (c == L'_' && !escape.empty()) pattern += escape;
        pattern += c;
    }
    try {
        TOdbcStatement tables(connection_.get(), options_.QuerySeconds);
        CheckOdbc(::SQLTablesW(tables.get(), nullptr, 0,
                               schema.empty() ? nullptr : reinterpret_cast<SQLWCHAR*>(schema.data()),
                               schema.empty() ? 0 : static_cast<SQLSMALLINT>(schema.size()),
                               reinterpret_cast<SQLWCHAR*>(pattern.data()), static_cast<SQLSMALLINT>(pattern.size()),
                               nullptr, 0),
                  SQL_HANDLE_STMT, tables.get());
        bool found = false;
        while (tables.Fetch()) {
            // TABLE_CAT, TABLE_SCHEM, TABLE_NAME: read in order.
            tables.Text(1);
            tables.Text(2);
            found = found || SameName(tables.Text(3), table);
        }
        return found;
    } catch (const TOdbcFailure&) {
        // Nothing known: the refusal stands.
        return true;
    }
}

TSqlError TOdbcDirectoryServer::Open() {
    ready_ = false;
    if (!IsPlainTableName(settings_.Table)) return {TSqlErrorKind::NoTable, L"", settings_.Table};
    TSqlError error;
    if (connection_) error = CheckColumns();
    // Not yet connected, or a connection that broke since the last call: connect anew.
    if (!connection_) {
        if ((error = Connect())) return error;
        error = CheckColumns();
        // Lost right after connecting: the server went away in between.
        if (error.Kind == TSqlErrorKind::Lost) error.Kind = TSqlErrorKind::Unreachable;
    }
    ready_ = !error;
    return error;
}

TSqlError TOdbcDirectoryServer::ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) {
    if (!ready_)
        if (TSqlError error = Open()) return error;
    try {
        // The page's size goes to the server: a driver that reads whole results
        // into memory (PostgreSQL's does) would otherwise fetch the rest of the
        // table for every page. SQL Server says TOP where the others say LIMIT.
        const bool paged = options_.PageRows != 0;
        const bool top = dbmsName_.find(L"SQL Server") != std::wstring::npos;
        const std::wstring columns = L"Phone, AbonentName, AbonentComment, Deleted, ChangeStamp FROM " + quotedTable_ +
                                     L" WHERE ChangeStamp > ? ORDER BY ChangeStamp";
        TOdbcStatement select(connection_.get(),
                              !paged ? L"SELECT " + columns
                              : top  ? L"SELECT TOP (?) " + columns
                                     : L"SELECT " + columns + L" LIMIT ?",
                              options_.QuerySeconds);
        const unsigned sincePosition = paged && top ? 2 : 1;
        if (paged) select.BindBigint(top ? 1 : 2, options_.PageRows);
        // A page at a time, each after the last stamp seen: the stamps become
        // visible in their order, so nothing slips between two pages.
        for (;;) {
            select.BindBigint(sincePosition, since);
            select.Execute();
            unsigned long long rows = 0;
            TSqlRow row;
            while (select.Fetch()) {
                row.Phone = select.Text(1);
                row.Name = select.Text(2);
                row.Comment = select.Text(3);
                row.Deleted = select.Bigint(4) != 0;
                row.Stamp = select.Bigint(5);
                since = row.Stamp;
                ++rows;
                if (!each(row)) {
                    select.CloseCursor();
                    return {};
                }
            }
            if (options_.PageRows == 0 || rows < options_.PageRows) return {};
        }
    } catch (const TOdbcFailure& failure) {
        return Fail(failure);
    }
}

void TOdbcDirectoryServer::EndTransaction(SQLSMALLINT completion) {
    CheckOdbc(::SQLEndTran(SQL_HANDLE_DBC, connection_.get(), completion), SQL_HANDLE_DBC, connection_.get());
}

void TOdbcDirectoryServer::WriteOne(const TSqlChange& change) {
    if (!update_) {
        update_ = std::make_unique<TOdbcStatement>(
            connection_.get(),
            L"UPDATE " + quotedTable_ +
                L" SET AbonentName = ?, AbonentComment = ?, Deleted = ?, ChangedBy = ?, ChangedAt = ? WHERE Phone = ?",
            options_.QuerySeconds);
        insert_ = std::make_unique<TOdbcStatement>(
            connection_.get(),
            L"INSERT INTO " + quotedTable_ +
                L" (Phone, AbonentName, AbonentComment, Deleted, ChangedBy, ChangedAt) VALUES (?, ?, ?, ?, ?, ?)",
            options_.QuerySeconds);
    }
    const int16_t deleted = change.Deleted ? 1 : 0;
    update_->BindText(1, change.Name);
    update_->BindText(2, change.Comment);
    update_->BindSmallint(3, deleted);
    update_->BindText(4, change.ChangedBy);
    update_->BindTimestamp(5, change.ChangedAtUnixMs);
    update_->BindText(6, change.Phone);
    update_->Execute();
    if (update_->RowCount() > 0) return;
    insert_->BindText(1, change.Phone);
    insert_->BindText(2, change.Name);
    insert_->BindText(3, change.Comment);
    insert_->BindSmallint(4, deleted);
    insert_->BindText(5, change.ChangedBy);
    insert_->BindTimestamp(6, change.ChangedAtUnixMs);
    try {
        insert_->Execute();
    } catch (const TOdbcFailure& failure) {
        // Another workstation inserted the number in between: it is there now.
        // Where the failed insert ended the transaction, the whole transaction
        // runs again instead (see WriteChanges).
        if (!IsUniqueViolation(failure.Diagnostics) || failedStatementEndsTransaction_) throw;
        update_->Execute();
    }
}

TSqlError TOdbcDirectoryServer::WriteChanges(const std::vector<TSqlChange>& changes) {
    if (changes.empty()) return {};
    if (!ready_)
        if (TSqlError error = Open()) return error;
    for (unsigned attempt = 1;; ++attempt) {
        try {
            CheckOdbc(::SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_OFF), 0),
                      SQL_HANDLE_DBC, connection_.get());
            for (const TSqlChange& change : changes) WriteOne(change);
            EndTransaction(SQL_COMMIT);
            ::SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_ON), 0);
            return {};
        } catch (const TOdbcFailure& failure) {
            ::SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
            const bool again = IsTransactionConflict(failure.Diagnostics) ||
                               (failedStatementEndsTransaction_ && IsUniqueViolation(failure.Diagnostics));
            if (again && attempt < options_.WriteAttempts && !ConnectionDead()) continue;
            TSqlError error = Fail(failure);
            if (connection_)
                ::SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_ON), 0);
            return error;
        }
    }
}

std::unique_ptr<ISqlDirectoryServer> MakeOdbcDirectoryServer(const TSqlDirectorySettings& settings) {
    return std::make_unique<TOdbcDirectoryServer>(settings);
}
