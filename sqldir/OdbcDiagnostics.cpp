#include "OdbcDiagnostics.h"

#include <sqlext.h>

#include <algorithm>

TOdbcDiagnostics ReadOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    TOdbcDiagnostics records;
    if (!handle) return records;
    // A driver gives a handful of records; the bound only guards against one that never stops.
    for (SQLSMALLINT index = 1; index <= 20; ++index) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::wstring message(512, L'\0');
        SQLRETURN result = ::SQLGetDiagRecW(handleType, handle, index, state, &native,
                                            reinterpret_cast<SQLWCHAR*>(message.data()),
                                            static_cast<SQLSMALLINT>(message.size()), &length);
        if (result == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<size_t>(length) + 1, L'\0');
            result = ::SQLGetDiagRecW(handleType, handle, index, state, &native,
                                      reinterpret_cast<SQLWCHAR*>(message.data()),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(result)) break;
        message.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size()));
        while (!message.empty() && (message.back() == L'\0' || message.back() == L'\n' || message.back() == L'\r'))
            message.pop_back();
        records.push_back({std::wstring(reinterpret_cast<const wchar_t*>(state)), static_cast<long>(native),
                           std::move(message)});
    }
    return records;
}

void CheckOdbc(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle) {
    if (SQL_SUCCEEDED(result)) return;
    TOdbcFailure failure{ReadOdbcDiagnostics(handleType, handle)};
    if (failure.Diagnostics.empty()) {
        failure.Diagnostics.push_back(
            {L"HY000", 0, result == SQL_INVALID_HANDLE ? L"invalid handle" : L"the driver gave no reason"});
    }
    throw failure;
}
