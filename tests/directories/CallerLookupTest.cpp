// Caller lookup: the local lookup's results and the local/remote choice.
#include <gtest/gtest.h>

#include "CallerLookup.h"
#include "DirectoryTestSupport.h"
#include "DirectoryTextLimit.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <stdexcept>

namespace {

class FakeRemote : public IRemoteDirectory {
public:
    bool GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                           std::wstring& comment) override {
        lookups.push_back(phone);
        if (fail) throw std::runtime_error("link lost");
        name = L"удалённое имя";
        region = L"удалённый регион";
        comment = L"удалённый комментарий";
        return true;
    }
    void AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring&, const std::wstring&) override {
        saves.push_back(PhoneNumber);
    }
    std::vector<std::wstring> lookups, saves;
    bool fail = false;
};

class CallerLookupTest : public testing::Test {
protected:
    void SetUp() override {
        MakeCityTable(cities.path(), {{L"7", L"Россия"}, {L"7495", L"Москва"}});
        areas.Open();
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иванов", L"клиент");
        subscribers.AddEditRow(L"7495123", L"Короткий", L"внутренний");
    }

    struct Result {
        bool found;
        std::wstring name, region, comment;
    };
    Result Local(const std::wstring& phone) {
        Result r{false, L"old", L"old", L"old"};
        r.found = lookup.GetNameRegionCommentByPhoneLocal(phone, r.name, r.region, r.comment);
        return r;
    }
    Result Any(const std::wstring& phone) {
        Result r{false, L"old", L"old", L"old"};
        r.found = lookup.GetNameRegionCommentByPhone(phone, r.name, r.region, r.comment);
        return r;
    }

    TempFolder cities, folder;
    TTQRDataModule areas{cities.path()};
    TPQRDataModule subscribers{folder.path(), folder.file(L"none")};
    TCallerLookup lookup{areas, subscribers};
};

void ExpectResult(bool found, const wchar_t* name, const wchar_t* region, const wchar_t* comment, const auto& r) {
    EXPECT_EQ(found, r.found);
    EXPECT_EQ(name, r.name);
    EXPECT_EQ(region, r.region);
    EXPECT_EQ(comment, r.comment);
}

}  // namespace

TEST_F(CallerLookupTest, LocalLookupCombinesBothDirectories) {
    EXPECT_TRUE(lookup.CheckDB());
    ExpectResult(true, L"Иванов", L"Москва", L"клиент", Local(L"74951234567"));
    ExpectResult(true, L"", L"Москва", L"", Local(L"74957654321"));        // unknown subscriber
    ExpectResult(true, L"Короткий", L"", L"внутренний", Local(L"7495123"));  // too short for a region
    ExpectResult(true, L"", L"", L"", Local(L""));
    ExpectResult(true, L"", L"", L"", Local(L"*#*#"));
}

TEST_F(CallerLookupTest, AClosedDirectoryMakesTheLocalLookupFailWithEmptyTexts) {
    areas.Close();
    EXPECT_FALSE(lookup.CheckDB());
    ExpectResult(false, L"", L"", L"", Local(L"74951234567"));
    ExpectResult(false, L"", L"", L"", Any(L"74951234567"));
    areas.Open();
    subscribers.Close();
    EXPECT_FALSE(lookup.CheckDB());
    // The city codes still give the region.
    ExpectResult(false, L"", L"Москва", L"", Local(L"74951234567"));
    ExpectResult(false, L"", L"Москва", L"", Any(L"74951234567"));
    // A local save on a closed directory reaches the caller.
    EXPECT_THROW(lookup.AddEditRow(L"74951234567", L"Петров", L""), TableStoreError);
    subscribers.Open();
    ExpectResult(true, L"Иванов", L"Москва", L"клиент", Local(L"74951234567"));
}

TEST_F(CallerLookupTest, OnlyAClientOfSharedDirectoriesGoesRemote) {
    FakeRemote remote;
    lookup.SetRemote(&remote);
    struct Case {
        bool useRemote, asClient, remoteExpected;
    } cases[] = {{false, false, false}, {false, true, false}, {true, false, false}, {true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.useRemote << c.asClient);
        lookup.SetUseRemoteDB(c.useRemote);
        lookup.SetDBAsClient(c.asClient);
        remote.lookups.clear();
        remote.saves.clear();
        const Result r = Any(L"74951234567");
        lookup.AddEditRow(L"79001112233", L"Сидоров", L"");
        EXPECT_TRUE(r.found);
        EXPECT_EQ(c.remoteExpected ? L"удалённое имя" : L"Иванов", r.name);
        EXPECT_EQ(c.remoteExpected ? 1u : 0u, remote.lookups.size());
        EXPECT_EQ(c.remoteExpected ? 1u : 0u, remote.saves.size());
        // The server's own lookup is always local.
        EXPECT_EQ(L"Иванов", Local(L"74951234567").name);
    }
    EXPECT_EQ(L"Сидоров", subscribers.AbonentByPhone(L"79001112233"));

    remote.fail = true;
    ExpectResult(false, L"", L"", L"", Any(L"74951234567"));
}

TEST_F(CallerLookupTest, WithoutARemoteDirectoryTheRemoteOperationsFail) {
    lookup.SetUseRemoteDB(true);
    lookup.SetDBAsClient(true);
    ExpectResult(false, L"", L"", L"", Any(L"74951234567"));
    EXPECT_THROW(lookup.AddEditRow(L"79001112233", L"Сидоров", L""), AppError);
    EXPECT_EQ(L"", subscribers.AbonentByPhone(L"79001112233"));
}

TEST_F(CallerLookupTest, AClientRefusesATextTheServerCouldNotReadBeforeSendingIt) {
    FakeRemote remote;
    lookup.SetRemote(&remote);
    lookup.SetUseRemoteDB(true);
    lookup.SetDBAsClient(true);
    const std::wstring tooLong(static_cast<size_t>(kMaxDirectoryTextBytes) / 2 + 1, L'к');
    try {
        lookup.AddEditRow(L"79001112233", L"Сидоров", tooLong);
        ADD_FAILURE() << "sent";
    } catch (const TDirectoryTextTooLong& error) {
        EXPECT_EQ(TDirectoryTextField::Comment, error.field());
    }
    EXPECT_TRUE(remote.saves.empty());
    lookup.AddEditRow(L"79001112233", L"Сидоров", tooLong.substr(1));
    EXPECT_EQ(std::vector<std::wstring>{L"79001112233"}, remote.saves);
}

TEST_F(CallerLookupTest, APopupLookupSaysWhyItFailed) {
    const auto failureOf = [this] {
        std::wstring name, region, comment;
        TLookupFailure failure{TLookupFailureKind::RemoteFailed, L"stale"};
        const bool found = lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment, failure);
        EXPECT_EQ(found, !failure.Failed());
        return failure;
    };
    EXPECT_EQ(TLookupFailureKind::None, failureOf().Kind) << "a lookup that ran clears the reason";
    EXPECT_EQ(L"", failureOf().Detail);

    areas.Close();
    EXPECT_EQ(TLookupFailureKind::DirectoriesClosed, failureOf().Kind);
    EXPECT_FALSE(failureOf().Remote());

    lookup.SetUseRemoteDB(true);
    lookup.SetDBAsClient(true);
    EXPECT_EQ(TLookupFailureKind::RemoteNotSet, failureOf().Kind);
    FakeRemote remote;
    lookup.SetRemote(&remote);
    EXPECT_EQ(TLookupFailureKind::None, failureOf().Kind) << "the remote lookup ran";
    remote.fail = true;
    const TLookupFailure failure = failureOf();
    EXPECT_EQ(TLookupFailureKind::ExchangeFailed, failure.Kind);
    EXPECT_TRUE(failure.Remote());
    EXPECT_EQ(L"link lost", failure.Detail);
}
