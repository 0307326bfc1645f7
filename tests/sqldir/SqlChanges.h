#pragma once
#include "SqlDirectoryServer.h"

#include <string>

// A workstation's save or deletion, as the sync tests hand them to the directory.
inline TSqlChange Change(const std::wstring& phone, const std::wstring& name, const std::wstring& comment = {}) {
    TSqlChange change;
    change.Phone = phone;
    change.Name = name;
    change.Comment = comment;
    return change;
}

inline TSqlChange Deletion(const std::wstring& phone) {
    TSqlChange change;
    change.Phone = phone;
    change.Deleted = true;
    return change;
}
