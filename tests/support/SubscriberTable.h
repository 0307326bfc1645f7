#pragma once
#include "TableStore.h"
#include "pqrUnit.h"

#include <string>
#include <vector>

// A subscriber table in the folder with these rows (number, name, comment), for
// the tests and benchmarks that need a directory of their own.
inline void MakeSubscriberTable(const std::wstring& folder, int phoneWidth,
                                const std::vector<std::vector<std::wstring>>& rows) {
    std::vector<FieldDef> fields = TPQRDataModule::TableFields();
    fields[0].width = phoneWidth;
    TableDatabase database;
    database.Connect(folder);
    database.CreateTable(TPQRDataModule::kTableName, fields, TPQRDataModule::TableIndexes(), rows);
}

// The same with the number column as the program makes it.
inline void MakeSubscriberTable(const std::wstring& folder, const std::vector<std::vector<std::wstring>>& rows) {
    MakeSubscriberTable(folder, TPQRDataModule::TableFields()[0].width, rows);
}
