// The subscriber directory: preparation on open, saving, widths and bad input.
#include <gtest/gtest.h>

#include "DirectoryBulk.h"
#include "DirectoryTestSupport.h"
#include "DirectoryTextLimit.h"
#include "TestFolders.h"
#include "UniqueHandle.h"
#include "pqrUnit.h"

#include <functional>
#include <optional>

namespace {

std::wstring TablePath(const TempFolder& folder) { return folder.file(L"AbonentPhones.db"); }

}  // namespace

TEST(SubscriberModule, FirstOpenCreatesTheTableInANewFolder) {
    TempFolder root, old;
    const std::wstring folder = root.file(L"Kordavin Data\\PQR");
    TPQRDataModule module(folder, old.path());
    EXPECT_FALSE(module.Active());
    module.Open();
    EXPECT_TRUE(module.Active());
    EXPECT_EQ(std::vector<std::wstring>{L"AbonentPhones.db"}, FolderEntries(folder));

    TableDatabase database;
    database.Connect(folder);
    const std::vector<FieldDef> fields = database.ReadFieldDefs(L"AbonentPhones");
    ASSERT_EQ(3u, fields.size());
    EXPECT_EQ(16, FieldByName(fields, L"AbonentPhone", L"").width);
    EXPECT_TRUE(FieldByName(fields, L"AbonentPhone", L"").required);
    EXPECT_EQ(64, FieldByName(fields, L"AbonentName", L"").width);
    EXPECT_TRUE(FieldByName(fields, L"AbonentName", L"").required);
    EXPECT_EQ(FieldKind::Memo, FieldByName(fields, L"AbonentComment", L"").kind);
    EXPECT_FALSE(FieldByName(fields, L"AbonentComment", L"").required);
}

TEST(SubscriberModule, OldTableIsCopiedInWidenedAndLeftUnchanged) {
    TempFolder data, old;
    MakeSubscriberTable(old.path(), 11, {{L"74951234567", L"Иванов", L"клиент"}, {L"78121234567", L"Петров", L""}});
    const std::string oldBytes = ReadBytes(TablePath(old));

    TPQRDataModule module(data.path(), old.path() + L"\\");
    module.Open();
    EXPECT_EQ(L"Иванов", module.AbonentByPhone(L"74951234567"));
    EXPECT_EQ(L"клиент", module.CommentByPhone(L"74951234567"));
    EXPECT_EQ(L"Петров", module.AbonentByPhone(L"78121234567"));
    module.AddEditRow(L"7495123456789012", L"Длинный", L"");  // fits only after widening
    EXPECT_EQ(L"Длинный", module.AbonentByPhone(L"7495123456789012"));
    module.Close();

    EXPECT_EQ(oldBytes, ReadBytes(TablePath(old)));
    EXPECT_EQ(std::vector<std::wstring>{L"AbonentPhones.db"}, FolderEntries(old.path()));
    EXPECT_EQ(std::vector<std::wstring>{L"AbonentPhones.db"}, FolderEntries(data.path()));
    EXPECT_EQ(3u, ReadSubscriberRows(TablePath(data)).size());

    // Later opens find the table and migrate nothing again.
    TPQRDataModule again(data.path(), old.path());
    again.Open();
    EXPECT_EQ(L"Длинный", again.AbonentByPhone(L"7495123456789012"));
}

TEST(SubscriberModule, FailedCopyLeavesNoPartialTableAndAnEmptyOneIsCreated) {
    TempFolder data, old;
    MakeSubscriberTable(old.path(), 16, {{L"74951234567", L"Иванов", L""}});
    const std::string oldBytes = ReadBytes(TablePath(old));
    {
        // Held open without sharing: the copy cannot read it.
        UniqueFileHandle holder(::CreateFileW(TablePath(old).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder.valid());
        TPQRDataModule module(data.path(), old.path());
        module.Open();
        EXPECT_TRUE(module.Active());
        EXPECT_EQ(L"", module.AbonentByPhone(L"74951234567"));
        EXPECT_EQ(std::vector<std::wstring>{L"AbonentPhones.db"}, FolderEntries(data.path()));
    }
    EXPECT_TRUE(ReadSubscriberRows(TablePath(data)).empty());
    EXPECT_EQ(oldBytes, ReadBytes(TablePath(old)));
}

TEST(SubscriberModule, NarrowPhoneFieldInPlaceIsWidenedWithRowsKept) {
    TempFolder data;
    std::vector<std::vector<std::wstring>> rows;
    for (int i = 0; i < 500; ++i)
        rows.push_back({L"7495" + std::to_wstring(1000000 + i), L"Абонент " + std::to_wstring(i), L"c" + std::to_wstring(i)});
    MakeSubscriberTable(data.path(), 11, rows);
    TPQRDataModule module(data.path(), data.file(L"none"));
    module.Open();
    TableDatabase database;
    database.Connect(data.path());
    EXPECT_EQ(16, database.ReadFieldDefs(L"AbonentPhones")[0].width);
    EXPECT_TRUE(database.ReadFieldDefs(L"AbonentPhones")[0].required);
    EXPECT_EQ(L"Абонент 499", module.AbonentByPhone(L"74951000499"));
    module.Close();
    const SubscriberRows stored = ReadSubscriberRows(TablePath(data));
    ASSERT_EQ(500u, stored.size());
    EXPECT_EQ(L"c7", stored.at(L"74951000007").second);
}

TEST(SubscriberModule, SavingAddsOrReplacesAndCutsToTheFieldWidths) {
    TempFolder data;
    TPQRDataModule module(data.path(), data.file(L"none"));
    module.Open();
    module.AddEditRow(L"74951234567", L"Иванов", L"первый");
    module.AddEditRow(L"74951234567", L"Иванов И. И.", L"второй");
    module.AddEditRow(L"78121234567", std::wstring(70, L'Я'), std::wstring(3000, L'к'));
    module.AddEditRow(L"1234567890123456789", L"Длинный номер", L"");

    EXPECT_EQ(L"Иванов И. И.", module.AbonentByPhone(L"74951234567"));
    EXPECT_EQ(L"второй", module.CommentByPhone(L"74951234567"));
    EXPECT_EQ(std::wstring(64, L'Я'), module.AbonentByPhone(L"78121234567"));
    EXPECT_EQ(3000u, module.CommentByPhone(L"78121234567").size());
    EXPECT_EQ(L"Длинный номер", module.AbonentByPhone(L"1234567890123456"));
    EXPECT_EQ(L"Длинный номер", module.AbonentByPhone(L"1234567890123456000"));
    EXPECT_EQ(L"", module.AbonentByPhone(L"+74951234567"));  // the text is matched as it stands
    module.Close();

    const SubscriberRows stored = ReadSubscriberRows(TablePath(data));
    EXPECT_EQ(3u, stored.size());
    EXPECT_TRUE(stored.count(L"1234567890123456"));
}

TEST(SubscriberModule, EmptyNumberOrNameFailsNamingTheFieldAndStoresNothing) {
    TempFolder data;
    TPQRDataModule module(data.path(), data.file(L"none"));
    module.Open();
    module.AddEditRow(L"74951234567", L"Иванов", L"был");

    struct Case {
        const wchar_t *phone, *name, *comment, *field;
    } cases[] = {{L"", L"Без номера", L"x", L"AbonentPhone"},
                 {L"74951234567", L"", L"y", L"AbonentName"},
                 {L"", L"", L"", L"AbonentPhone"}};
    for (const Case& c : cases) {
        try {
            module.AddEditRow(c.phone, c.name, c.comment);
            ADD_FAILURE() << "stored " << testing::PrintToString(std::wstring(c.name));
        } catch (const TableStoreError& error) {
            EXPECT_EQ(TableStoreError::Kind::RequiredField, error.kind());
            EXPECT_NE(std::wstring::npos, error.message().find(c.field)) << testing::PrintToString(error.message());
        }
    }
    EXPECT_EQ(L"", module.AbonentByPhone(L""));
    EXPECT_EQ(L"Иванов", module.AbonentByPhone(L"74951234567"));
    EXPECT_EQ(L"был", module.CommentByPhone(L"74951234567"));

    module.AddEditRow(L"74951234567", L"Иванов", L"");  // an empty comment is fine
    EXPECT_EQ(L"", module.CommentByPhone(L"74951234567"));
    module.Close();
    EXPECT_EQ(1u, ReadSubscriberRows(TablePath(data)).size());
}

TEST(SubscriberModule, ATextNoClientCouldReadIsRefusedAtEverySaveAndNothingIsStored) {
    TempFolder data;
    TPQRDataModule module(data.path(), data.file(L"none"));
    module.Open();
    module.AddEditRow(L"74951234567", L"Иванов", L"был");
    const size_t most = static_cast<size_t>(kMaxDirectoryTextBytes) / 2;
    using F = TDirectoryTextField;
    struct Case {
        std::wstring phone, name, comment;
        std::optional<F> refused;
    };
    const Case cases[] = {
        {L"74951234567", L"Иванов", std::wstring(most, L'к'), std::nullopt},
        {L"74951234567", L"Иванов", std::wstring(most + 1, L'к'), F::Comment},
        {L"74951234567", std::wstring(most + 1, L'И'), L"новый", F::Name},
        {std::wstring(most + 1, L'7'), L"Иванов", L"новый", F::Phone},
        {L"74959999999", L"Новый", std::wstring(3 * most, L'к'), F::Comment},
    };
    // The directory window's editor writes beside the module, through the same check.
    const std::function<void(const Case&)> writers[] = {
        [&](const Case& c) { module.AddEditRow(c.phone, c.name, c.comment); },
        [&](const Case& c) { PutDirectoryRow(data.path(), {c.phone, c.name, c.comment}); },
    };
    for (const auto& write : writers) {
        module.AddEditRow(L"74951234567", L"Иванов", L"был");
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.phone.size() << "/" << c.name.size() << "/" << c.comment.size());
            try {
                write(c);
                EXPECT_FALSE(c.refused) << "stored";
                EXPECT_EQ(c.comment, module.CommentByPhone(c.phone));
            } catch (const TDirectoryTextTooLong& error) {
                ASSERT_TRUE(c.refused);
                EXPECT_EQ(*c.refused, error.field());
            }
            if (c.refused) {
                EXPECT_NE(c.comment, module.CommentByPhone(c.phone)) << "nothing is stored";
            }
        }
        EXPECT_EQ(L"", module.AbonentByPhone(L"74959999999"));
    }
}

TEST(SubscriberModule, UnusualNumbersAreStoredAndFoundAsTheyStand) {
    TempFolder data;
    TPQRDataModule module(data.path(), data.file(L"none"));
    module.Open();
    struct Case {
        std::wstring phone;
        std::wstring storedAs;
    } cases[] = {
        {L"7 495 123 45 67", L"7 495 123 45 67"},
        {L"*100#", L"*100#"},
        {L"##", L"##"},
        {L"7495123456712345678901234567890123456789", L"7495123456712345"},
        {L"семь-девять-пять", L"семь-девять-пять"},
        {L"'; DROP TABLE AbonentPhones; --", L"'; DROP TABLE Ab"},
    };
    int n = 0;
    for (const Case& c : cases) module.AddEditRow(c.phone, L"Имя " + std::to_wstring(n++), L"");
    n = 0;
    for (const Case& c : cases) {
        const std::wstring name = L"Имя " + std::to_wstring(n++);
        EXPECT_EQ(name, module.AbonentByPhone(c.phone)) << testing::PrintToString(c.phone);
        EXPECT_EQ(name, module.AbonentByPhone(c.storedAs));
    }
    module.Close();
    const SubscriberRows stored = ReadSubscriberRows(TablePath(data));
    EXPECT_EQ(std::size(cases), stored.size());
    for (const Case& c : cases) EXPECT_TRUE(stored.count(c.storedAs)) << testing::PrintToString(c.storedAs);
}

TEST(SubscriberModule, BadTablesAndFoldersFailToOpenWithoutChangingAFile) {
    TempFolder root;
    struct Case {
        const char* what;
        std::string bytes;  // written as AbonentPhones.db, or copied from a table when empty
        bool withoutPhoneField;
    } cases[] = {
        {"not a table", "Hello, this is certainly not a table" + std::string(5000, '!'), false},
        {"a damaged table", "", false},
        {"no AbonentPhone field", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder data;
        std::string bytes = c.bytes;
        if (c.withoutPhoneField) {
            TableDatabase database;
            database.Connect(data.path());
            database.CreateTable(L"AbonentPhones",
                                 {{L"Phone", FieldKind::String, 16, true}, {L"AbonentName", FieldKind::String, 64, true}},
                                 {{L"", {L"Phone"}, true, true}}, {{L"74951234567", L"Иванов"}});
            bytes = ReadBytes(TablePath(data));
        } else if (bytes.empty()) {
            MakeSubscriberTable(data.path(), 16, {{L"74951234567", L"Иванов", L""}});
            bytes = ReadBytes(TablePath(data));
            for (size_t i = 100; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(~bytes[i]);
        }
        WriteBytes(TablePath(data), bytes);

        TPQRDataModule module(data.path(), data.file(L"none"));
        try {
            module.Open();
            FAIL() << "opened";
        } catch (const TableStoreError& error) {
            EXPECT_FALSE(error.message().empty());
        }
        EXPECT_FALSE(module.Active());
        EXPECT_THROW(module.AbonentByPhone(L"74951234567"), TableStoreError);
        EXPECT_THROW(module.AddEditRow(L"74951234567", L"Петров", L""), TableStoreError);
        EXPECT_EQ(bytes, ReadBytes(TablePath(data)));
    }

    // A folder that cannot be created, below a file.
    WriteBytes(root.file(L"file"), "x");
    TPQRDataModule module(root.file(L"file\\PQR"), root.file(L"none"));
    try {
        module.Open();
        FAIL() << "opened";
    } catch (const TableStoreError& error) {
        EXPECT_NE(std::wstring::npos, error.message().find(L"AbonentPhones"));
    }
    EXPECT_FALSE(module.Active());
}

TEST(SubscriberModule, FolderChangeReopensAndPreparesTheNewFolder) {
    TempFolder first, second;
    TPQRDataModule module(first.path(), first.file(L"none"));
    module.Open();
    module.AddEditRow(L"74951234567", L"Первая папка", L"");
    module.SetAbonentPhoneDir(second.path());
    EXPECT_TRUE(module.Active());
    EXPECT_TRUE(PathExists(second.file(L"AbonentPhones.db")));
    EXPECT_EQ(L"", module.AbonentByPhone(L"74951234567"));
    module.Close();
    module.SetAbonentPhoneDir(first.path());
    EXPECT_FALSE(module.Active());
    module.Open();
    EXPECT_EQ(L"Первая папка", module.AbonentByPhone(L"74951234567"));
}
