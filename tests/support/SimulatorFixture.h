#pragma once
#include "KordavinClient.h"
#include "RecorderEvent.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// Registers the simulated server built beside the test, joins COM and gives this
// process its own simulator session.
class SimulatorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;

    // Sends one control line to this process's simulator; returns its reply.
    std::wstring Control(const std::wstring& line);

    // Reads the next event through DISPID 206; nullopt when the queue is empty.
    static std::optional<TRecorderEvent> ReadEvent(KordavinClient& client);

    static std::wstring session_;
    ComApartment apartment_;
};
