// The table store: definitions, widths, required fields, rebuilds and bad files.
#include <gtest/gtest.h>

#include "DirectoryTestSupport.h"
#include "TableStore.h"
#include "TestFolders.h"

namespace {

using Kind = TableStoreError::Kind;

const std::vector<FieldDef> kFields{{L"Code", FieldKind::String, 4, true},
                                    {L"Name", FieldKind::String, 6, false},
                                    {L"Note", FieldKind::Memo, 0, false}};
const std::vector<IndexDef> kIndexes{{L"", {L"Code"}, true, true}, {L"ByName", {L"Name"}, false, false}};

template <typename F>
Kind StoreErrorKind(F&& f) {
    try {
        f();
    } catch (const TableStoreError& error) {
        EXPECT_FALSE(error.message().empty());
        return error.kind();
    }
    ADD_FAILURE() << "no error raised";
    return Kind::General;
}

}  // namespace

TEST(TableStore, CutToWidthCountsUtf16UnitsAndNeverSplitsASurrogatePair) {
    struct Case {
        std::wstring text;
        int width;
        std::wstring expected;
    } cases[] = {
        {L"abcdef", 4, L"abcd"},
        {L"abc", 4, L"abc"},
        {L"Привет", 3, L"При"},
        {L"ab\U0001F600c", 3, L"ab"},  // the pair would be cut in half
        {L"ab\U0001F600c", 4, L"ab\U0001F600"},
        {L"", 4, L""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, CutToWidth(c.text, c.width)) << c.width;
}

TEST(TableStore, CreatedTableReportsItsDefinitionsAndRows) {
    TempFolder folder;
    TableDatabase database;
    database.Connect(folder.path());
    EXPECT_FALSE(database.TableExists(L"Codes"));
    database.CreateTable(L"Codes", kFields, kIndexes, {{L"7495", L"Москва", L"столица"}});
    ASSERT_TRUE(database.TableExists(L"Codes"));
    EXPECT_TRUE(PathExists(folder.file(L"Codes.db")));
    EXPECT_EQ(Kind::TableExists, StoreErrorKind([&] { database.CreateTable(L"Codes", kFields, kIndexes); }));

    const std::vector<FieldDef> stored = database.ReadFieldDefs(L"Codes");
    ASSERT_EQ(3u, stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(kFields[i].name, stored[i].name);
        EXPECT_EQ(kFields[i].kind, stored[i].kind);
        EXPECT_EQ(kFields[i].width, stored[i].width);
        EXPECT_EQ(kFields[i].required, stored[i].required);
    }

    Table table(database, L"Codes");
    table.Open(Table::Mode::ReadOnly);
    EXPECT_EQ(0, table.KeyField());
    ASSERT_TRUE(table.FindKey(L"7495"));
    EXPECT_EQ(L"Москва", table.FieldText(table.FieldIndex(L"Name")));
    EXPECT_EQ(L"столица", table.FieldText(table.FieldIndex(L"Note")));
    EXPECT_FALSE(table.FindKey(L"749"));
    EXPECT_EQ(L"", table.FieldText(1));
    EXPECT_EQ(Kind::ReadOnly, StoreErrorKind([&] { table.Append(); }));
    EXPECT_EQ(Kind::NoField, StoreErrorKind([&] { table.FieldIndex(L"Missing"); }));

    database.Close();  // closes its tables too
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(Kind::NotOpen, StoreErrorKind([&] { table.FindKey(L"7495"); }));
}

TEST(TableStore, TextsAreCutWhenStoredAndKeysWhenLookedUp) {
    TempFolder folder;
    TableDatabase database;
    database.Connect(folder.path());
    database.CreateTable(L"Codes", kFields, kIndexes);
    Table table(database, L"Codes");
    table.Open(Table::Mode::ReadWrite);
    table.Append();
    table.SetFieldText(0, L"123456");
    table.SetFieldText(1, L"абвгдежз");
    table.SetFieldText(2, std::wstring(5000, L'x'));
    table.Post();

    ASSERT_TRUE(table.FindKey(L"1234999"));  // cut to "1234" as well
    EXPECT_EQ(L"1234", table.FieldText(0));
    EXPECT_EQ(L"абвгде", table.FieldText(1));
    EXPECT_EQ(5000u, table.FieldText(2).size());  // a memo keeps its whole text
}

TEST(TableStore, EmptyRequiredTextIsAMissingValueAndNothingIsStored) {
    TempFolder folder;
    TableDatabase database;
    database.Connect(folder.path());
    database.CreateTable(L"Codes", kFields, kIndexes);
    Table table(database, L"Codes");
    table.Open(Table::Mode::ReadWrite);
    table.Append();
    table.SetFieldText(0, L"");
    table.SetFieldText(1, L"name");
    EXPECT_EQ(Kind::RequiredField, StoreErrorKind([&] { table.Post(); }));
    table.Cancel();
    EXPECT_FALSE(table.Editing());

    // A duplicate key fails at posting, and cancelling leaves the first row alone.
    for (const wchar_t* name : {L"first", L"second"}) {
        table.Append();
        table.SetFieldText(0, L"77");
        table.SetFieldText(1, name);
        if (std::wstring(name) == L"first") {
            table.Post();
        } else {
            EXPECT_EQ(Kind::KeyViolation, StoreErrorKind([&] { table.Post(); }));
            table.Cancel();
        }
    }
    ASSERT_TRUE(table.FindKey(L"77"));
    EXPECT_EQ(L"first", table.FieldText(1));
    EXPECT_FALSE(table.FindKey(L""));
    EXPECT_EQ(Kind::RequiredField, StoreErrorKind([&] { database.CreateTable(L"Other", kFields, kIndexes, {{L"", L"x"}}); }));
    EXPECT_FALSE(database.TableExists(L"Other"));
}

TEST(TableStore, WideningAStringFieldKeepsRowsIndexesAndTheRequiredFlag) {
    TempFolder folder;
    TableDatabase database;
    database.Connect(folder.path());
    database.CreateTable(L"Codes", kFields, kIndexes, {{L"1", L"a", L"n1"}, {L"22", L"bb", L""}, {L"333", L"ccc", L"n3"}});
    database.WidenStringField(L"Codes", {L"Code", FieldKind::String, 16, true});

    const std::vector<FieldDef> stored = database.ReadFieldDefs(L"Codes");
    EXPECT_EQ(16, stored[0].width);
    EXPECT_TRUE(stored[0].required);
    EXPECT_EQ(6, stored[1].width);

    Table table(database, L"Codes");
    table.Open(Table::Mode::ReadWrite);
    EXPECT_EQ(0, table.KeyField());
    for (const wchar_t* code : {L"1", L"22", L"333"}) EXPECT_TRUE(table.FindKey(code)) << code;
    EXPECT_EQ(L"ccc", table.FieldText(1));
    table.Append();
    table.SetFieldText(0, L"1234567890123456789");
    table.SetFieldText(1, L"long");
    table.Post();
    ASSERT_TRUE(table.FindKey(L"1234567890123456"));
    EXPECT_EQ(L"long", table.FieldText(1));
    table.Close();

    EXPECT_EQ(Kind::General, StoreErrorKind([&] { database.WidenStringField(L"Codes", {L"Code", FieldKind::String, 8, true}); }));
    EXPECT_EQ(Kind::NoField, StoreErrorKind([&] { database.WidenStringField(L"Codes", {L"Nope", FieldKind::String, 8, true}); }));
}

TEST(TableStore, DamagedFilesAndUnusableFoldersGiveClearErrorsAndStayUntouched) {
    TempFolder folder;
    TableDatabase database;
    database.Connect(folder.path());
    const std::string garbage = "This is not a table at all, just some text that fills a file." + std::string(4000, 'z');
    WriteBytes(folder.file(L"Codes.db"), garbage);
    EXPECT_TRUE(database.TableExists(L"Codes"));
    EXPECT_EQ(Kind::Damaged, StoreErrorKind([&] { database.ReadFieldDefs(L"Codes"); }));
    Table table(database, L"Codes");
    EXPECT_EQ(Kind::Damaged, StoreErrorKind([&] { table.Open(Table::Mode::ReadWrite); }));
    EXPECT_EQ(Kind::Damaged, StoreErrorKind([&] { database.WidenStringField(L"Codes", {L"Code", FieldKind::String, 9, true}); }));
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(garbage, ReadBytes(folder.file(L"Codes.db")));

    // A file whose table has another name, and a missing table.
    database.CreateTable(L"Other", kFields, kIndexes);
    ASSERT_TRUE(::CopyFileW(folder.file(L"Other.db").c_str(), folder.file(L"Renamed.db").c_str(), FALSE));
    EXPECT_EQ(Kind::NoTable, StoreErrorKind([&] { database.ReadFieldDefs(L"Renamed"); }));
    Table missing(database, L"Missing");
    EXPECT_EQ(Kind::NoTable, StoreErrorKind([&] { missing.Open(Table::Mode::ReadOnly); }));
    EXPECT_FALSE(PathExists(folder.file(L"Missing.db")));

    // A folder below a file cannot be created: connecting is quiet, creating is not.
    TableDatabase blocked;
    blocked.Connect(folder.file(L"Codes.db") + L"\\sub\\folder");
    EXPECT_FALSE(blocked.TableExists(L"Codes"));
    EXPECT_EQ(Kind::General, StoreErrorKind([&] { blocked.CreateTable(L"Codes", kFields, kIndexes); }));
    EXPECT_EQ(garbage, ReadBytes(folder.file(L"Codes.db")));
}

TEST(TableStore, ConnectCreatesTheFolderWithItsParents) {
    TempFolder folder;
    const std::wstring deep = folder.file(L"a\\b\\c");
    TableDatabase database;
    database.Connect(deep);
    database.CreateTable(L"Codes", kFields, kIndexes);
    EXPECT_TRUE(PathExists(deep + L"\\Codes.db"));
    EXPECT_EQ(std::vector<std::wstring>{L"Codes.db"}, FolderEntries(deep));  // no temporary left
}
