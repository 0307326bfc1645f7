#pragma once
#include "SimCommand.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The queue of one created SDK object: each object is one client of the server.
struct SimClientQueue {
    std::deque<std::vector<uint8_t>> events;
};

// Everything the simulated server knows in this process. The control pipe thread
// and the objects' callers reach it concurrently; mutex_ guards every field.
class SimState {
public:
    static SimState& Instance();

    std::shared_ptr<SimClientQueue> AttachClient();

    // What the three SDK calls see.
    int32_t TakeConnectResult();
    std::wstring ChannelList() const;
    bool Vanished() const;
    std::optional<std::vector<uint8_t>> PopEvent(SimClientQueue& queue);

    // Carries out a control command and returns the reply line ("OK ..." or "ERROR ...").
    std::wstring Execute(const SimCommand& command);

private:
    SimState() = default;
    size_t LiveClientsLocked();

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<SimClientQueue>> clients_;
    std::wstring channels_ = L"K1|K2|K3|K4";
    std::optional<int32_t> nextConnectResult_;
    bool vanished_ = false;
    uint32_t sequence_ = 0;
};
