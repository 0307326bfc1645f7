// An import written to the subscriber directory, the export read back, and the
// search over the directory's rows.
#include <gtest/gtest.h>

#include "ContactExport.h"
#include "ContactImport.h"
#include "DirectoryBulk.h"
#include "DirectoryTestSupport.h"
#include "HeldLock.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "pqrUnit.h"

#include <string>
#include <vector>

namespace {

class DirectoryImportTest : public testing::Test {
protected:
    void SetUp() override {
        subscribers.Open();
        subscribers.AddEditRow(L"74951111111", L"Иванов", L"друг");
        subscribers.AddEditRow(L"74952222222", L"Петров", L"");
    }
    std::wstring Table() const { return folder.file(L"AbonentPhones.db"); }

    ImportPreview Preview(const std::wstring& csv, bool replaceNames = true) {
        ImportOptions options;
        options.replaceNames = replaceNames;
        return BuildImportPreview(ReadImportFile(WideToUtf8(csv)).contacts, SnapshotOf(ReadDirectoryRows(folder.path())),
                                  options);
    }

    TempFolder folder;
    TPQRDataModule subscribers{folder.path(), folder.file(L"none")};
};

const SubscriberRows kBefore{
    {L"74951111111", {L"Иванов", L"друг"}},
    {L"74952222222", {L"Петров", L""}},
};

}  // namespace

TEST_F(DirectoryImportTest, NewAndChangedRowsAreStoredAndSeenByTheModule) {
    const ImportPreview preview = Preview(
        L"Телефон;Имя;Комментарий\n"
        L"8 (495) 111-11-11;Иванов Иван;\n"
        L"+7 495 222 22 22;Петров;\n"
        L"8 495 333-33-33;Сидоров;новый\n");
    ASSERT_EQ(1u, preview.newCount);
    ASSERT_EQ(1u, preview.changedCount);
    ASSERT_EQ(1u, preview.unchangedCount);
    EXPECT_EQ(2u, ApplyImport(folder.path(), preview));

    EXPECT_EQ((SubscriberRows{
                  {L"74951111111", {L"Иванов Иван", L"друг"}},
                  {L"74952222222", {L"Петров", L""}},
                  {L"74953333333", {L"Сидоров", L"новый"}},
              }),
              ReadSubscriberRows(Table()));
    // The open module reads the imported rows without being reopened.
    EXPECT_EQ(L"Сидоров", subscribers.AbonentByPhone(L"74953333333"));
    EXPECT_EQ(L"Иванов Иван", subscribers.AbonentByPhone(L"74951111111"));
}

TEST_F(DirectoryImportTest, AFailureMidwayStoresNothing) {
    ImportPreview preview = Preview(L"84953333333;Сидоров\n84954444444;Кузнецов\n84951111111;Другой\n");
    ASSERT_EQ(3u, preview.rows.size());
    // A row the store refuses (a required name missing) after rows it accepted.
    preview.rows.insert(preview.rows.begin() + 2, ImportRow{9, L"74955555555", L"", L"", ImportStatus::New, false});
    try {
        ApplyImport(folder.path(), preview);
        ADD_FAILURE() << "an import with a refused row was stored";
    } catch (const TableStoreError& error) {
        EXPECT_EQ(TableStoreError::Kind::RequiredField, error.kind());
    }
    EXPECT_EQ(kBefore, ReadSubscriberRows(Table()));
}

TEST_F(DirectoryImportTest, ALockedDirectoryGivesAClearErrorAndNothingHalfWritten) {
    const ImportPreview preview = Preview(L"84953333333;Сидоров\n84951111111;Другой\n");
    {
        HeldLock lock(Table(), L"reserved", 60000);
        ASSERT_TRUE(lock.held());
        try {
            ApplyImport(folder.path(), preview);
            ADD_FAILURE() << "imported under another process's lock";
        } catch (const TableStoreError& error) {
            EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
            EXPECT_NE(std::wstring::npos, error.message().find(L"заблокирована"));
        }
    }
    EXPECT_EQ(kBefore, ReadSubscriberRows(Table()));
    // Released, the same preview goes in whole.
    EXPECT_EQ(2u, ApplyImport(folder.path(), preview));
    EXPECT_EQ(L"Другой", subscribers.AbonentByPhone(L"74951111111"));
    EXPECT_EQ(L"Сидоров", subscribers.AbonentByPhone(L"74953333333"));
}

TEST_F(DirectoryImportTest, KeepingNamesChangesOnlyComments) {
    const ImportPreview preview = Preview(L"84951111111;Другое имя;\n84952222222;Другое имя;звонил\n", false);
    EXPECT_EQ(1u, preview.unchangedCount);
    EXPECT_EQ(1u, preview.changedCount);
    ApplyImport(folder.path(), preview);
    EXPECT_EQ((SubscriberRows{{L"74951111111", {L"Иванов", L"друг"}}, {L"74952222222", {L"Петров", L"звонил"}}}),
              ReadSubscriberRows(Table()));
}

TEST_F(DirectoryImportTest, EditsMadeElsewhereAfterThePreviewAreMergedNotUndone) {
    struct Case {
        bool replaceNames;
        SubscriberRows expected;
    };
    const Case cases[] = {
        {true,
         {
             // The file's name, the comment another workstation wrote meanwhile.
             {L"74951111111", {L"Иванов Иван", L"позвонить завтра"}},
             // Only the file's comment changes; the new name from elsewhere stays.
             {L"74952222222", {L"Петров Пётр", L"из файла"}},
             // Added elsewhere meanwhile: the file's name, the comment from elsewhere.
             {L"74953333333", {L"Сидоров", L"добавлен рядом"}},
             // Shown as unchanged: the edit from elsewhere stays whole.
             {L"74954444444", {L"Кузнецов К.", L"правка рядом"}},
         }},
        {false,
         {
             {L"74951111111", {L"Иванов", L"позвонить завтра"}},
             {L"74952222222", {L"Петров Пётр", L"из файла"}},
             {L"74953333333", {L"Сидоров С.", L"добавлен рядом"}},
             {L"74954444444", {L"Кузнецов К.", L"правка рядом"}},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replaceNames);
        PutDirectoryRow(folder.path(), {L"74951111111", L"Иванов", L"друг"});
        PutDirectoryRow(folder.path(), {L"74952222222", L"Петров", L""});
        DeleteDirectoryRow(folder.path(), L"74953333333");
        PutDirectoryRow(folder.path(), {L"74954444444", L"Кузнецов", L""});
        const ImportPreview preview = Preview(
            L"Телефон;Имя;Комментарий\n"
            L"84951111111;Иванов Иван;\n"
            L"84952222222;;из файла\n"
            L"84953333333;Сидоров;\n"
            L"84954444444;Кузнецов;\n",
            c.replaceNames);
        ASSERT_EQ(c.replaceNames ? 1u : 2u, preview.unchangedCount);

        // Another workstation saves between the preview and "Записать".
        subscribers.AddEditRow(L"74951111111", L"Иванов", L"позвонить завтра");
        subscribers.AddEditRow(L"74952222222", L"Петров Пётр", L"");
        subscribers.AddEditRow(L"74953333333", L"Сидоров С.", L"добавлен рядом");
        subscribers.AddEditRow(L"74954444444", L"Кузнецов К.", L"правка рядом");

        ApplyImport(folder.path(), preview);
        EXPECT_EQ(c.expected, ReadSubscriberRows(Table()));
    }
}

TEST_F(DirectoryImportTest, ACancelledWriteStoresNothing) {
    std::wstring csv;
    for (int i = 0; i < 5000; ++i) csv += L"8495" + std::to_wstring(3000000 + i) + L";Абонент " + std::to_wstring(i) + L"\n";
    const ImportPreview preview = Preview(csv);
    ASSERT_EQ(5000u, preview.newCount);
    ImportProgress progress;
    progress.Cancel();
    EXPECT_THROW(ApplyImport(folder.path(), preview, &progress), ImportCancelled);
    EXPECT_EQ(kBefore, ReadSubscriberRows(Table()));
}

TEST_F(DirectoryImportTest, ExportReadsBackUnchanged) {
    const std::vector<DirectoryRow> tricky = {
        {L"74953333333", L"ООО \"Ромашка\"; отдел", L"строка 1\r\nстрока 2\nстрока 3"},
        {L"74954444444", L"Ёлкин, Пётр", L" пробелы по краям "},
        {L"74955555555", L"Tab\tвнутри", L"\"в кавычках\""},
        {L"1234", L"Короткий номер", L"; , \" \r\n"},
        {L"74956666666", std::wstring(64, L'Щ'), std::wstring(5000, L'ж')},
        // Texts a spreadsheet would run as formulas, and apostrophes of their own.
        {L"74957777777", L"=HYPERLINK(\"http://example.com\";\"жми\")", L"+7 495 000-00-00"},
        {L"74958888888", L"@SUM(A1:A9)", L"-1"},
        {L"74959999999", L"'=уже с апострофом", L"'обычный апостроф"},
        {L"74950000001", L"\tтаб", L"'"},
    };
    for (const DirectoryRow& row : tricky) subscribers.AddEditRow(row.phone, row.name, row.comment);
    const std::vector<DirectoryRow> stored = ReadDirectoryRows(folder.path());
    ASSERT_EQ(11u, stored.size());

    const std::string csv = ExportDirectoryCsv(stored);
    // A spreadsheet opening the file finds no field that starts a formula.
    for (const CsvRecord& record : ParseCsv(DecodeImportText(csv).text, L';'))
        for (const std::wstring& field : record.Fields())
            EXPECT_TRUE(field.empty() || std::wstring_view(L"=+-@\t\r").find(field.front()) == std::wstring::npos)
                << WideToUtf8(field);
    ASSERT_EQ("\xEF\xBB\xBF", csv.substr(0, 3));
    EXPECT_EQ(WideToUtf8(L"Номер;Имя;Комментарий\r\n1234;Короткий номер;\"; , \"\" \r\n\"\r\n"),
              csv.substr(3, csv.find("7495") - 3));

    // Into the same directory: nothing to do.
    const ImportSource source = ReadImportFile(csv);
    EXPECT_EQ(TextEncoding::Utf8Bom, source.encoding);
    EXPECT_EQ(L';', source.separator);
    EXPECT_TRUE(source.hasHeader);
    const ImportPreview same = BuildImportPreview(source.contacts, SnapshotOf(stored), ImportOptions{});
    EXPECT_EQ(11u, same.unchangedCount);
    EXPECT_EQ(0u, same.newCount + same.changedCount + same.rejectedCount + same.duplicateCount);

    // Into an empty directory: the same rows.
    TempFolder other;
    const ImportPreview fresh = BuildImportPreview(source.contacts, {}, ImportOptions{});
    EXPECT_EQ(11u, fresh.newCount);
    EXPECT_EQ(11u, ApplyImport(other.path(), fresh));
    EXPECT_EQ(ReadSubscriberRows(Table()), ReadSubscriberRows(other.file(L"AbonentPhones.db")));
}

TEST_F(DirectoryImportTest, SingleRowsArePutAndDeletedUnlessAnotherWorkstationHoldsTheTable) {
    PutDirectoryRow(folder.path(), {L"74953333333", L"Сидоров", L"новый"});
    PutDirectoryRow(folder.path(), {L"74951111111", L"Иванов Иван", L""});
    EXPECT_TRUE(DeleteDirectoryRow(folder.path(), L"74952222222"));
    EXPECT_FALSE(DeleteDirectoryRow(folder.path(), L"74952222222"));
    const SubscriberRows expected{{L"74951111111", {L"Иванов Иван", L""}}, {L"74953333333", {L"Сидоров", L"новый"}}};
    EXPECT_EQ(expected, ReadSubscriberRows(Table()));

    HeldLock lock(Table(), L"reserved", 20000);
    ASSERT_TRUE(lock.held());
    try {
        DeleteDirectoryRow(folder.path(), L"74951111111");
        ADD_FAILURE() << "deleted under another workstation's lock";
    } catch (const TableStoreError& error) {
        EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
    }
    lock.Release();
    EXPECT_EQ(expected, ReadSubscriberRows(Table()));
}

TEST(DirectorySearchTest, FindsByDigitsOrLettersIgnoringCase) {
    const std::vector<DirectoryRow> rows = {
        {L"74951234567", L"Иванов Иван", L""},
        {L"78121234567", L"ИВАНОВА Анна", L""},
        {L"74959876543", L"Ёжиков", L""},
        {L"74957654321", L"Smith John", L"иванов в комментарии"},
    };
    const DirectorySearch search(rows);
    const std::pair<std::wstring, std::vector<size_t>> cases[] = {
        {L"", {0, 1, 2, 3}},
        {L"1234", {0, 1}},
        {L"+7 (495) 98", {2}},
        {L"иванов", {0, 1}},
        {L"ИВАН", {0, 1}},
        {L"ёж", {2}},
        {L"JOHN", {3}},
        {L"Петров", {}},
        {L"000", {}},
    };
    for (const auto& [query, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(query));
        EXPECT_EQ(expected, search.Find(query));
    }
}
