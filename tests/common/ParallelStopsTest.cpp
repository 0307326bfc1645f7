// Stops run together and waited for until one deadline: the wait costs the
// longest stop, a stop that hangs is abandoned at the deadline, a failing or
// throwing stop reads as not ended.
#include "ParallelStops.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

TEST(ParallelStops, TheWaitCostsTheLongestStopAndAHangingOneIsAbandonedAtTheDeadline) {
    auto release = std::make_shared<std::atomic<bool>>(false);
    TParallelStops stops;
    const ULONGLONG started = ::GetTickCount64();
    for (int i = 0; i < 4; ++i)
        stops.Start([] {
            ::Sleep(300);
            return true;
        });
    stops.Start([] { return false; });
    stops.Start([]() -> bool { throw std::runtime_error("refused"); });
    stops.Start([release] {
        while (!release->load()) ::Sleep(10);
        return true;
    });
    const std::vector<bool> ended = stops.WaitUntil(started + 1000);
    const ULONGLONG took = ::GetTickCount64() - started;
    EXPECT_EQ((std::vector<bool>{true, true, true, true, false, false, false}), ended);
    EXPECT_GE(took, 900u) << "waited for the hanging stop until the deadline";
    EXPECT_LT(took, 3000u) << "and no longer";
    release->store(true);
}

TEST(ParallelStops, StopsThatAllEndReturnBeforeTheDeadline) {
    TParallelStops stops;
    const ULONGLONG started = ::GetTickCount64();
    for (int i = 0; i < 3; ++i)
        stops.Start([] {
            ::Sleep(200);
            return true;
        });
    EXPECT_EQ(std::vector<bool>(3, true), stops.WaitUntil(started + 10000));
    EXPECT_LT(::GetTickCount64() - started, 3000u) << "three stops of 200 ms side by side, not one after another";
    EXPECT_TRUE(TParallelStops().WaitUntil(0).empty());
}
