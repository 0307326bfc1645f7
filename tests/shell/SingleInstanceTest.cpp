// The name that makes one running copy per user session, user and program folder.
#include "SingleInstance.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

TEST(SingleInstance, OneNamePerFolderAndUserWhateverTheSpellingOfThePath) {
    const std::wstring sid = L"S-1-5-21-1-2-3-1001";
    const std::wstring name = SingleInstanceName(L"C:\\Program Files\\Kordavin Informer", sid);
    EXPECT_EQ(0u, name.rfind(L"Local\\", 0)) << "a session's own namespace";
    EXPECT_EQ(std::wstring::npos, name.find(L'\\', 6)) << "no further backslash in a kernel object's name";
    for (const wchar_t* same : {L"c:\\program files\\kordavin informer", L"C:\\PROGRAM FILES\\KORDAVIN INFORMER\\",
                                L"C:/Program Files/Kordavin Informer/"})
        EXPECT_EQ(name, SingleInstanceName(same, sid)) << testing::PrintToString(same);
    EXPECT_EQ(SingleInstanceName(L"D:\\Информатор\\Сервер", sid), SingleInstanceName(L"d:\\информатор\\СЕРВЕР", sid));

    for (const wchar_t* other : {L"C:\\Program Files\\Kordavin Informer 2", L"C:\\Program Files\\Kordavin",
                                 L"D:\\Program Files\\Kordavin Informer", L"C:\\Program Files\\Kordavin Informer\\Client"})
        EXPECT_NE(name, SingleInstanceName(other, sid)) << testing::PrintToString(other);
    EXPECT_NE(name, SingleInstanceName(L"C:\\Program Files\\Kordavin Informer", L"S-1-5-21-1-2-3-1002"))
        << "another user of a terminal server";
}

TEST(SingleInstance, TheRunningUserHasASid) {
    EXPECT_EQ(0u, CurrentUserSid().rfind(L"S-1-", 0)) << testing::PrintToString(CurrentUserSid());
}

TEST(SingleInstance, ALaterHolderWaitsForTheFirstAndTakesOverWhenItsThreadHasEnded) {
    const std::wstring name = SingleInstanceName(L"C:\\unit-test\\" + std::to_wstring(::GetCurrentProcessId()),
                                                 CurrentUserSid());
    // The instance belongs to the thread that claimed it, as the program's main thread does.
    TSingleInstance first(name);
    EXPECT_TRUE(first.IsFirst());
    std::thread([&] {
        TSingleInstance second(name);
        EXPECT_FALSE(second.IsFirst());
        // Nothing published yet: a later copy waits its time and gives up.
        EXPECT_EQ(THandOver::NoAnswer, second.HandOver(200));
        TSingleInstance elsewhere(name + L"x");
        EXPECT_TRUE(elsewhere.IsFirst());
    }).join();

    std::optional<TSingleInstance> ended;
    std::thread([&] { ended.emplace(name + L"y"); }).join();
    ASSERT_TRUE(ended->IsFirst());
    std::thread([&] {
        TSingleInstance later(name + L"y");
        EXPECT_FALSE(later.IsFirst());
        EXPECT_EQ(THandOver::BecameFirst, later.HandOver(5000));
        EXPECT_TRUE(later.IsFirst());
    }).join();
}

}  // namespace
