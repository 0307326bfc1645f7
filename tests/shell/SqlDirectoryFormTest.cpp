// The SQL directory's settings dialog, driven through its real window against
// a server in memory, the move-over below it, and the words the windows use.
#include "ContactImport.h"
#include "DirectoryBulk.h"
#include "DpapiText.h"
#include "FakeSqlServer.h"
#include "MessagePump.h"
#include "SqlDirectoryForm.h"
#include "SqlDirectoryRes.h"
#include "SqlDirectoryTexts.h"
#include "SqlDirectoryWrites.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "WindowText.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <optional>
#include <set>

namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// The name and comment the table holds for the number; none when it holds no row.
std::optional<std::pair<std::wstring, std::wstring>> Stored(const TFakeSqlTable& table, const std::wstring& phone) {
    std::wstring name, comment;
    if (!table.Lookup(phone, name, comment)) return std::nullopt;
    return std::make_pair(name, comment);
}

TEST(SqlDirectoryTexts, EveryFailureHasItsOwnWords) {
    std::set<std::wstring> seen;
    for (int kind = static_cast<int>(TSqlErrorKind::Driver); kind <= static_cast<int>(TSqlErrorKind::Other); ++kind) {
        const std::wstring text = SqlErrorText({static_cast<TSqlErrorKind>(kind), {}, L"Имя"});
        EXPECT_FALSE(text.empty()) << kind;
        EXPECT_TRUE(seen.insert(text).second) << kind;
        EXPECT_EQ(text.find(L'%'), std::wstring::npos) << kind;
    }
    EXPECT_EQ(SqlErrorText({}), L"");
    const struct {
        TSqlError error;
        std::wstring text;
    } cases[] = {
        {{TSqlErrorKind::Login, L"28P01", L"FATAL:  password\nauthentication failed"},
         L"сервер не принял пользователя или пароль. Ответ сервера: FATAL:  password authentication failed"},
        {{TSqlErrorKind::NoTable, L"42P01", L"KordavinAbonentPhones"},
         L"таблицы «KordavinAbonentPhones» на сервере нет или этой учётной записи она не видна: администратор "
         L"создаёт её скриптом postgresql.sql, mssql.sql или mariadb.sql и даёт права"},
        {{TSqlErrorKind::MissingColumns, L"", L"Stamp, Deleted"}, L"в таблице нет столбцов: Stamp, Deleted"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, SqlErrorText(c.error));
}

TEST(SqlDirectoryTexts, TheMoveOverAndTheStateInWords) {
    TSqlMoveOverResult done;
    done.New = 3;
    done.Changed = 1;
    done.Unchanged = 7;
    done.Written = 4;
    TSqlMoveOverResult stopped = done;
    stopped.Cancelled = true;
    stopped.Written = 0;
    TSqlMoveOverResult failed = done;
    failed.Written = 2;
    failed.Error = {TSqlErrorKind::Lost, L"08S01", L""};
    EXPECT_EQ(L"Перенесено: новых 3, изменённых 1, без изменений 7.", SqlMoveOverResultText(done));
    EXPECT_EQ(L"Перенос остановлен. Записано 0 из 4; повторный перенос допишет остальное.",
              SqlMoveOverResultText(stopped));
    EXPECT_TRUE(Contains(SqlMoveOverResultText(failed), L"связь с сервером прервалась"));
    EXPECT_TRUE(Contains(SqlMoveOverResultText(failed), L"Записано 2 из 4"));

    TSqlDirectoryStatus status;
    EXPECT_EQ(L"Справочник в SQL: не используется", SqlStatusText(status));
    EXPECT_EQ(L"", SqlTrayText(status));
    status.Enabled = true;
    EXPECT_EQ(L"Справочник в SQL: ещё не синхронизирован", SqlStatusText(status));
    status.LastSyncUnixMs = 1'700'000'000'000;
    status.Waiting = 5;
    status.LastError = {TSqlErrorKind::Unreachable, L"08001", L""};
    const std::wstring text = SqlStatusText(status);
    for (const wchar_t* part : {L"синхронизирован", L"ждут отправки на сервер сохранений: 5", L"сервер недоступен"})
        EXPECT_TRUE(Contains(text, part)) << testing::PrintToString(text) << " lacks " << testing::PrintToString(part);
    EXPECT_EQ(L"Ждут отправки в SQL: 5 — сервер недоступен: он выключен, неверны адрес или …",
              SqlTrayText(status));
    status.Waiting = 0;
    status.LastError = {TSqlErrorKind::Login, L"28P01", L"a long message of the driver that the hint leaves out"};
    EXPECT_EQ(L"Справочник в SQL: сервер не принял пользователя или пароль", SqlTrayText(status));
    status.LastError = {};
    EXPECT_EQ(L"", SqlTrayText(status));
    status.Waiting = 2;
    EXPECT_EQ(L"Ждут отправки в SQL: 2", SqlTrayText(status));
}

std::vector<TSqlMoveOverRow> Rows(std::initializer_list<TSqlMoveOverRow> rows) { return rows; }

TEST(SqlMoveOver, CountsNewChangedAndUnchangedRowsAndWritesOnlyWhatDiffers) {
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"100", L"Старое имя", L"");
    table->Put(L"200", L"Как было", L"к");
    table->Put(L"300", L"Удалённый", L"");
    table->Remove(L"300");
    TFakeSqlServer server(table);
    std::atomic<int> permille{-1};
    const TSqlMoveOverResult result =
        MoveOverToSql(server,
                      Rows({{L"100", L"Новое имя", L""}, {L"200", L"Как было", L"к"}, {L"300", L"Вернулся", L""},
                            {L"400", L"Первый раз", L""}, {L"400", L"Второй раз", L"последний"}}),
                      L"CORP\\ivanov on PC1", 42, {}, &permille);
    EXPECT_FALSE(result.Error);
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(2u, result.New) << "a deleted marker counts as no row; a number twice as its last row";
    EXPECT_EQ(1u, result.Changed);
    EXPECT_EQ(1u, result.Unchanged);
    EXPECT_EQ(3u, result.Written);
    EXPECT_EQ(1000, permille.load());
    const std::vector<TSqlChange> written = table->Written();
    ASSERT_EQ(3u, written.size());
    for (const TSqlChange& change : written) {
        EXPECT_EQ(L"CORP\\ivanov on PC1", change.ChangedBy);
        EXPECT_EQ(42, change.ChangedAtUnixMs);
    }
    EXPECT_EQ(L"последний", Stored(*table, L"400")->second);
    EXPECT_EQ(L"Как было", Stored(*table, L"200")->first);
    for (const TSqlChange& change : written) EXPECT_NE(L"200", change.Phone) << "an unchanged row is not written again";
}

TEST(SqlMoveOver, StopsBetweenBatchesAndSaysWhyItStopped) {
    std::vector<TSqlMoveOverRow> many;
    for (int i = 0; i < 1200; ++i) many.push_back({std::to_wstring(1000 + i), L"Имя " + std::to_wstring(i), L""});

    // Asked to stop while the first batch is written: that batch stays, no other follows.
    struct TStopping final : ISqlDirectoryServer {
        TFakeSqlServer inner;
        std::stop_source& stop;
        TStopping(std::shared_ptr<TFakeSqlTable> table, std::stop_source& s) : inner(std::move(table)), stop(s) {}
        TSqlError Open() override { return inner.Open(); }
        void Close() noexcept override {}
        TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) override {
            return inner.ReadChanges(since, each);
        }
        TSqlError WriteChanges(const std::vector<TSqlChange>& changes) override {
            stop.request_stop();
            return inner.WriteChanges(changes);
        }
    };
    auto table = std::make_shared<TFakeSqlTable>();
    std::stop_source stop;
    TStopping stopping(table, stop);
    const TSqlMoveOverResult stopped = MoveOverToSql(stopping, many, L"u", 1, stop.get_token());
    EXPECT_TRUE(stopped.Cancelled);
    EXPECT_EQ(kSqlMoveOverBatch, stopped.Written);
    EXPECT_EQ(kSqlMoveOverBatch, table->Written().size());

    // A server that refuses: nothing written, and the reason.
    auto refusing = std::make_shared<TFakeSqlTable>();
    refusing->SetOpenError({TSqlErrorKind::Permission, L"42501", L"permission denied"});
    TFakeSqlServer server(refusing);
    const TSqlMoveOverResult failed = MoveOverToSql(server, many, L"u", 1, {});
    EXPECT_EQ(TSqlErrorKind::Permission, failed.Error.Kind);
    EXPECT_EQ(0u, failed.Written);
    EXPECT_TRUE(refusing->Written().empty());
}

TEST(SqlDirectoryWrites, AnImportGoesToTheServerMergedWithWhatAnotherWorkstationSavedSinceThePreview) {
    TempFolder folder;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"74951111111", L"Иванов", L"друг");
    auto sql = std::make_shared<TSqlDirectory>(folder.path(), FakeSqlServers(table));
    TSqlDirectorySettings settings;
    settings.Connection = L"Driver={PostgreSQL Unicode};Server=db1;";
    settings.SyncSeconds = 1;
    sql->Apply(settings);
    const auto replicaHas = [&](const std::wstring& phone, const std::wstring& name) {
        for (const DirectoryRow& row : ReadDirectoryRows(sql->ReplicaFolder()))
            if (row.phone == phone) return row.name == name;
        return false;
    };
    ASSERT_TRUE(PumpUntil([&] { return replicaHas(L"74951111111", L"Иванов"); }, 10000));

    // Stored names are kept: only the comment of the known number changes.
    ImportOptions options;
    options.replaceNames = false;
    const ImportPreview preview =
        BuildImportPreview(ReadImportFile(WideToUtf8(L"Телефон;Имя;Комментарий\n"
                                                     L"8 (495) 111-11-11;Иванов Иван;коллега\n"
                                                     L"8 495 333-33-33;Сидоров;новый\n"))
                               .contacts,
                           SnapshotOf(ReadDirectoryRows(sql->ReplicaFolder())), options);
    ASSERT_EQ(1u, preview.newCount);
    ASSERT_EQ(1u, preview.changedCount);
    // Meanwhile another workstation renames the known number, and the sync brings it.
    table->Put(L"74951111111", L"Иванов Иван Петрович", L"друг");
    ASSERT_TRUE(PumpUntil([&] { return replicaHas(L"74951111111", L"Иванов Иван Петрович"); }, 10000));

    EXPECT_EQ(2u, SqlDirectoryWrites(sql)->Import(preview, nullptr));
    EXPECT_TRUE(PumpUntil([&] { return Stored(*table, L"74953333333").has_value(); }, 10000));
    EXPECT_EQ((std::make_pair<std::wstring, std::wstring>(L"Иванов Иван Петрович", L"коллега")),
              Stored(*table, L"74951111111"))
        << "the other workstation's name is not undone";
    EXPECT_EQ((std::make_pair<std::wstring, std::wstring>(L"Сидоров", L"новый")), Stored(*table, L"74953333333"));
    sql->Stop();
}

class SqlDirectoryFormTest : public ::testing::Test {
protected:
    void SetUp() override { table = std::make_shared<TFakeSqlTable>(); }
    void TearDown() override {
        TSqlDirectoryForm::CloseAll();
        PumpPending();
    }
    void Open(const TSqlSettings& current, TSqlDirectoryForm::TMoveSource source = {},
              const TEnforcedSettings& enforced = {}) {
        dialog = TSqlDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, current, std::move(source), enforced,
                                         FakeSqlServers(table),
                                         [this](const TSqlSettings& settings) { applied = settings; });
        ASSERT_NE(dialog, nullptr);
    }
    static TSqlSettings Configured() {
        TSqlSettings current;
        current.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=db1;Port=5432;Database=phones;Uid=informer;";
        current.FSqlPassword = ProtectForUser(L"секрет");
        current.FSqlTable = L"Телефоны";
        current.FSqlSyncSeconds = 15;
        return current;
    }
    std::wstring Text(int id) const { return WindowText(::GetDlgItem(dialog, id)); }
    void SetText(int id, const std::wstring& text) { ::SetDlgItemTextW(dialog, id, text.c_str()); }
    bool Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }
    void Click(int id) {
        ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        PumpPending();
    }
    std::wstring CheckResult() {
        Click(IDC_SQLDIR_CHECK);
        EXPECT_TRUE(PumpUntil([&] { return Enabled(IDC_SQLDIR_CHECK); }, 10000));
        return Text(IDC_SQLDIR_RESULT);
    }
    std::wstring MoveResult() {
        Click(IDC_SQLDIR_MOVE);
        EXPECT_TRUE(PumpUntil([&] { return Enabled(IDC_SQLDIR_MOVE); }, 10000));
        return Text(IDC_SQLDIR_MOVE_RESULT);
    }

    std::shared_ptr<TFakeSqlTable> table;
    HWND dialog = nullptr;
    std::optional<TSqlSettings> applied;
};

TEST_F(SqlDirectoryFormTest, ShowsTheSettingsInRussianAndOkStoresThePasswordEncrypted) {
    Open(Configured(), {L"C:\\Данные\\PQR", false});
    EXPECT_EQ(WindowText(dialog), L"Справочник абонентов в SQL");
    EXPECT_EQ(Text(IDC_SQLDIR_CHECK), L"Про&верить");
    EXPECT_EQ(Text(IDC_SQLDIR_CONNECTION), Configured().FSqlConnection);
    EXPECT_EQ(Text(IDC_SQLDIR_TABLE), L"Телефоны");
    EXPECT_EQ(Text(IDC_SQLDIR_SECONDS), L"15");
    EXPECT_EQ(Text(IDC_SQLDIR_PASSWORD), L"секрет");
    EXPECT_NE(::SendMessageW(::GetDlgItem(dialog, IDC_SQLDIR_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_TRUE(Contains(Text(IDC_SQLDIR_MOVE_NOTE), L"C:\\Данные\\PQR"));
    EXPECT_TRUE(Enabled(IDC_SQLDIR_MOVE));
    EXPECT_FALSE(Enabled(IDC_SQLDIR_MOVE_STOP));

    SetText(IDC_SQLDIR_PASSWORD, L"новый пароль");
    SetText(IDC_SQLDIR_SECONDS, L"2");
    SetText(IDC_SQLDIR_TABLE, L"  Abonents ");
    Click(IDC_SQLDIR_OK);
    ASSERT_TRUE(applied.has_value());
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(Configured().FSqlConnection, applied->FSqlConnection);
    EXPECT_EQ(L"Abonents", applied->FSqlTable);
    EXPECT_EQ(2, applied->FSqlSyncSeconds);
    EXPECT_EQ(std::wstring::npos, applied->FSqlPassword.find(L"новый"));
    std::wstring password;
    EXPECT_TRUE(UnprotectForUser(applied->FSqlPassword, password));
    EXPECT_EQ(L"новый пароль", password);
}

TEST_F(SqlDirectoryFormTest, TheSamePasswordKeepsItsStoredForm) {
    const TSqlSettings current = Configured();
    Open(current);
    Click(IDC_SQLDIR_OK);
    ASSERT_TRUE(applied.has_value());
    EXPECT_EQ(current.FSqlPassword, applied->FSqlPassword) << "the file changes only when the password does";
}

TEST_F(SqlDirectoryFormTest, TheCheckSaysInWordsWhatIsWrong) {
    Open(Configured());
    const struct {
        TSqlError error;
        std::wstring part;
    } cases[] = {
        {{}, L"Подключение установлено; в таблице «Телефоны» есть все нужные столбцы."},
        {{TSqlErrorKind::Login, L"28P01", L""}, L"Не получилось: сервер не принял пользователя или пароль"},
        {{TSqlErrorKind::NoTable, L"42P01", L"Телефоны"}, L"таблицы «Телефоны» на сервере нет или"},
        {{TSqlErrorKind::MissingColumns, L"", L"Stamp, ChangedBy"}, L"в таблице нет столбцов: Stamp, ChangedBy"},
        {{TSqlErrorKind::Unreachable, L"08001", L""}, L"сервер недоступен"},
        {{TSqlErrorKind::Driver, L"IM002", L"Data source name not found"},
         L"драйвер ODBC не найден или не понял строку подключения. Ответ сервера: Data source name not found"},
    };
    for (const auto& c : cases) {
        table->SetOpenError(c.error);
        const std::wstring result = CheckResult();
        EXPECT_TRUE(Contains(result, c.part)) << testing::PrintToString(result);
    }
    EXPECT_EQ(static_cast<int>(std::size(cases)), table->Opens());

    SetText(IDC_SQLDIR_SECONDS, L"0");
    Click(IDC_SQLDIR_CHECK);
    EXPECT_EQ(L"Период синхронизации — целое число секунд от 1 до 3600.", Text(IDC_SQLDIR_RESULT));
    SetText(IDC_SQLDIR_SECONDS, L"30");
    SetText(IDC_SQLDIR_CONNECTION, L"   ");
    Click(IDC_SQLDIR_CHECK);
    EXPECT_EQ(L"Строка подключения не задана.", Text(IDC_SQLDIR_RESULT));
    EXPECT_EQ(static_cast<int>(std::size(cases)), table->Opens()) << "no connection tried";
}

TEST_F(SqlDirectoryFormTest, MovesThisPcsDirectoryOverWithCounts) {
    TempFolder folder;
    PutDirectoryRow(folder.path(), {L"84951112233", L"Иванов Иван", L"бухгалтерия"});
    PutDirectoryRow(folder.path(), {L"84952223344", L"Петров", L""});
    PutDirectoryRow(folder.path(), {L"84953334455", L"Сидоров", L"склад"});
    table->Put(L"84952223344", L"Петров", L"");
    table->Put(L"84953334455", L"Сидоров", L"");
    Open(Configured(), {folder.path(), false});
    EXPECT_EQ(L"Перенесено: новых 1, изменённых 1, без изменений 1.", MoveResult());
    EXPECT_EQ(L"Иванов Иван", Stored(*table, L"84951112233")->first);
    EXPECT_EQ(L"склад", Stored(*table, L"84953334455")->second);
    EXPECT_EQ(1000, ::SendMessageW(::GetDlgItem(dialog, IDC_SQLDIR_MOVE_PROGRESS), PBM_GETPOS, 0, 0));
    // Again: everything is there now.
    EXPECT_EQ(L"Перенесено: новых 0, изменённых 0, без изменений 3.", MoveResult());

    table->SetOpenError({TSqlErrorKind::Login, L"28P01", L""});
    EXPECT_TRUE(Contains(MoveResult(), L"Перенос прерван: сервер не принял пользователя или пароль"));
}

TEST_F(SqlDirectoryFormTest, TheMoveOverStopsWhenAskedAndSaysSo) {
    TempFolder folder;
    PutDirectoryRow(folder.path(), {L"84951112233", L"Иванов Иван", L""});
    Open(Configured(), {folder.path(), false});
    table->Hang("Read");
    Click(IDC_SQLDIR_MOVE);
    ASSERT_TRUE(PumpUntil([&] { return table->Hung() == 1; }, 10000));
    EXPECT_FALSE(Enabled(IDC_SQLDIR_MOVE)) << "one move-over at a time";
    EXPECT_TRUE(Enabled(IDC_SQLDIR_MOVE_STOP));
    EXPECT_EQ(L"Перенос справочника…", Text(IDC_SQLDIR_MOVE_RESULT));
    Click(IDC_SQLDIR_MOVE_STOP);
    EXPECT_FALSE(Enabled(IDC_SQLDIR_MOVE_STOP));
    table->Release();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_SQLDIR_MOVE); }, 10000));
    EXPECT_EQ(L"Перенос остановлен до записи: ничего не записано.", Text(IDC_SQLDIR_MOVE_RESULT));
    EXPECT_TRUE(table->Written().empty());
}

TEST_F(SqlDirectoryFormTest, AClientOfADirectoryServerIsToldWhereToMoveOver) {
    Open(Configured(), {L"C:\\PQR", true});
    EXPECT_TRUE(Contains(Text(IDC_SQLDIR_MOVE_NOTE), L"клиент сервера справочников"));
    EXPECT_FALSE(Enabled(IDC_SQLDIR_MOVE));
}

TEST_F(SqlDirectoryFormTest, WhatAPolicyFixesIsGreyed) {
    TEnforcedSettings enforced;
    enforced.Keys = {L"SqlConnection", L"SqlSyncSeconds", L"LdapServers"};
    Open(Configured(), {}, enforced);
    EXPECT_FALSE(Enabled(IDC_SQLDIR_CONNECTION));
    EXPECT_FALSE(Enabled(IDC_SQLDIR_SECONDS));
    EXPECT_TRUE(Enabled(IDC_SQLDIR_TABLE));
    EXPECT_TRUE(Enabled(IDC_SQLDIR_PASSWORD)) << "a password is never fixed by a policy";
}

}  // namespace
