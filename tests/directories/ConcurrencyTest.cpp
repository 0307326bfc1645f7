// Lookups and saves from several threads at once, with the directories opened
// and closed under them: no lost, torn or wrong row and no crash.
#include <gtest/gtest.h>

#include "CallerLookup.h"
#include "DirectoryTestSupport.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <atomic>
#include <thread>

namespace {

constexpr int kSavers = 3;
constexpr int kLookers = 3;
constexpr int kNumbersPerSaver = 20;
constexpr int kVersions = 3;

std::wstring Number(int saver, int i) { return L"7495" + std::to_wstring(1000000 + saver * 1000 + i); }
std::wstring Name(int saver, int i, int version) {
    return L"Абонент " + std::to_wstring(saver) + L"-" + std::to_wstring(i) + L" v" + std::to_wstring(version);
}
std::wstring Comment(const std::wstring& name) { return name + L" комментарий"; }

struct Counters {
    std::atomic<int> lookups{0}, failedLookups{0}, torn{0}, emptyRegion{0}, wrongRegion{0}, escaped{0};
};

class ConcurrencyTest : public testing::Test {
protected:
    void SetUp() override {
        MakeCityTable(cities.path(), {{L"7", L"Россия"}, {L"7495", L"Москва"}});
        areas.Open();
        subscribers.Open();
    }

    // Looks numbers up until told to stop and checks what comes back.
    void Look(int seed, const std::atomic<bool>& stop) {
        try {
            unsigned state = static_cast<unsigned>(seed) * 2654435761u + 1;
            while (!stop) {
                state = state * 1103515245u + 12345u;
                const int saver = static_cast<int>((state >> 8) % kSavers);
                const int i = static_cast<int>((state >> 16) % kNumbersPerSaver);
                std::wstring name, region, comment;
                ++counters.lookups;
                if (!lookup.GetNameRegionCommentByPhoneLocal(Number(saver, i), name, region, comment)) {
                    ++counters.failedLookups;
                    continue;
                }
                // Empty only when the city codes closed between the two steps.
                if (region.empty()) ++counters.emptyRegion;
                else if (region != L"Москва") ++counters.wrongRegion;
                if (name.empty() ? !comment.empty() : comment != Comment(name)) ++counters.torn;
            }
        } catch (...) {
            ++counters.escaped;
        }
    }

    TempFolder cities, folder;
    TTQRDataModule areas{cities.path()};
    TPQRDataModule subscribers{folder.path(), folder.file(L"none")};
    TCallerLookup lookup{areas, subscribers};
    Counters counters;
};

}  // namespace

TEST_F(ConcurrencyTest, SimultaneousLookupsAndSavesLoseAndTearNothing) {
    std::atomic<bool> stop{false};
    std::atomic<int> failedSaves{0};
    std::vector<std::thread> lookers, savers;
    for (int t = 0; t < kLookers; ++t) lookers.emplace_back([&, t] { Look(t, stop); });
    for (int s = 0; s < kSavers; ++s) {
        savers.emplace_back([&, s] {
            for (int v = 0; v < kVersions; ++v) {
                for (int i = 0; i < kNumbersPerSaver; ++i) {
                    try {
                        const std::wstring name = Name(s, i, v);
                        lookup.AddEditRow(Number(s, i), name, Comment(name));
                    } catch (...) {
                        ++failedSaves;
                    }
                }
            }
        });
    }
    for (auto& t : savers) t.join();
    stop = true;
    for (auto& t : lookers) t.join();

    EXPECT_EQ(0, failedSaves.load());
    EXPECT_GT(counters.lookups.load(), 0);
    EXPECT_EQ(0, counters.failedLookups.load());
    EXPECT_EQ(0, counters.torn.load());
    EXPECT_EQ(0, counters.emptyRegion.load());
    EXPECT_EQ(0, counters.wrongRegion.load());
    EXPECT_EQ(0, counters.escaped.load());

    subscribers.Close();
    const SubscriberRows rows = ReadSubscriberRows(folder.file(L"AbonentPhones.db"));
    ASSERT_EQ(static_cast<size_t>(kSavers * kNumbersPerSaver), rows.size());
    for (int s = 0; s < kSavers; ++s)
        for (int i = 0; i < kNumbersPerSaver; ++i)
            EXPECT_EQ(Name(s, i, kVersions - 1), rows.at(Number(s, i)).first);
}

TEST_F(ConcurrencyTest, OpeningAndClosingUnderRunningLookupsAndSaves) {
    std::atomic<bool> stop{false};
    // lastStored[s][i]: the last version whose save returned normally.
    std::vector<std::vector<int>> lastStored(kSavers, std::vector<int>(kNumbersPerSaver, -1));
    std::vector<std::thread> lookers, savers;
    for (int t = 0; t < kLookers; ++t) lookers.emplace_back([&, t] { Look(t + 100, stop); });
    for (int s = 0; s < kSavers; ++s) {
        savers.emplace_back([&, s] {
            for (int v = 0; v < kVersions; ++v) {
                for (int i = 0; i < kNumbersPerSaver; ++i) {
                    try {
                        const std::wstring name = Name(s, i, v);
                        lookup.AddEditRow(Number(s, i), name, Comment(name));
                        lastStored[static_cast<size_t>(s)][static_cast<size_t>(i)] = v;
                    } catch (const TableStoreError& error) {
                        // Only because the directory was closed at that moment.
                        if (error.kind() != TableStoreError::Kind::NotOpen) ++counters.escaped;
                    } catch (...) {
                        ++counters.escaped;
                    }
                }
            }
        });
    }
    for (int round = 0; round < 30; ++round) {
        if (round % 2 == 0) {
            subscribers.Close();
            areas.Refresh();
        } else {
            subscribers.Open();
            areas.SetCityCodesDir(round % 4 == 1 ? cities.path() + L"\\" : cities.path());
        }
        std::this_thread::yield();
    }
    subscribers.Open();
    for (auto& t : savers) t.join();
    stop = true;
    for (auto& t : lookers) t.join();

    EXPECT_EQ(0, counters.torn.load());
    EXPECT_EQ(0, counters.wrongRegion.load());
    EXPECT_EQ(0, counters.escaped.load());

    subscribers.Close();
    const SubscriberRows rows = ReadSubscriberRows(folder.file(L"AbonentPhones.db"));
    for (int s = 0; s < kSavers; ++s) {
        for (int i = 0; i < kNumbersPerSaver; ++i) {
            const int version = lastStored[static_cast<size_t>(s)][static_cast<size_t>(i)];
            const auto row = rows.find(Number(s, i));
            if (version < 0) {
                EXPECT_EQ(rows.end(), row);
            } else {
                ASSERT_NE(rows.end(), row);
                EXPECT_EQ(Name(s, i, version), row->second.first);
                EXPECT_EQ(Comment(Name(s, i, version)), row->second.second);
            }
        }
    }
}

// Two workstations starting at the same moment on a folder without the table:
// whichever creates it, both open it.
TEST(SubscriberTableCreation, TwoWorkstationsOpeningANewFolderAtOnceBothOpenIt) {
    for (int round = 0; round < 20; ++round) {
        TempFolder shared;
        std::atomic<int> ready{0};
        std::string errors[2];
        std::thread workstations[2];
        for (int w = 0; w < 2; ++w) {
            workstations[w] = std::thread([&, w] {
                TPQRDataModule subscribers(shared.path(), shared.file(L"none"));
                ++ready;
                while (ready < 2) std::this_thread::yield();
                try {
                    subscribers.Open();
                } catch (const std::exception& error) {
                    errors[w] = std::string("failed: ") + error.what();
                }
            });
        }
        for (std::thread& workstation : workstations) workstation.join();
        EXPECT_EQ("", errors[0]) << "round " << round;
        EXPECT_EQ("", errors[1]) << "round " << round;
    }
}
