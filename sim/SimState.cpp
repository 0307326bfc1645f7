#include "SimState.h"

#include <windows.h>

#include <algorithm>

SimState& SimState::Instance() {
    static SimState state;
    return state;
}

std::shared_ptr<SimClientQueue> SimState::AttachClient() {
    auto queue = std::make_shared<SimClientQueue>();
    std::lock_guard lock(mutex_);
    LiveClientsLocked();
    clients_.push_back(queue);
    return queue;
}

size_t SimState::LiveClientsLocked() {
    std::erase_if(clients_, [](const auto& weak) { return weak.expired(); });
    return clients_.size();
}

int32_t SimState::TakeConnectResult() {
    std::lock_guard lock(mutex_);
    const int32_t result = nextConnectResult_.value_or(0);
    nextConnectResult_.reset();
    return result;
}

std::wstring SimState::ChannelList() const {
    std::lock_guard lock(mutex_);
    return channels_;
}

bool SimState::Vanished() const {
    std::lock_guard lock(mutex_);
    return vanished_;
}

std::optional<std::vector<uint8_t>> SimState::PopEvent(SimClientQueue& queue) {
    std::lock_guard lock(mutex_);
    if (queue.events.empty()) return std::nullopt;
    auto block = std::move(queue.events.front());
    queue.events.pop_front();
    return block;
}

std::wstring SimState::Execute(const SimCommand& command) {
    std::lock_guard lock(mutex_);
    const size_t clients = LiveClientsLocked();
    switch (command.kind) {
    case SimCommandKind::QueueEvent: {
        const auto block = EncodeRecorderEvent(command.event, ++sequence_, ::GetTickCount64());
        for (auto& weak : clients_)
            if (auto queue = weak.lock()) queue->events.push_back(block);
        return L"OK queued for " + std::to_wstring(clients) + L" client(s)";
    }
    case SimCommandKind::SetChannels:
        channels_ = command.channels;
        return L"OK";
    case SimCommandKind::SetConnectResult:
        nextConnectResult_ = command.connectResult;
        return L"OK";
    case SimCommandKind::Vanish:
        vanished_ = true;
        return L"OK";
    case SimCommandKind::Revive:
        vanished_ = false;
        return L"OK";
    case SimCommandKind::ClearQueues:
        for (auto& weak : clients_)
            if (auto queue = weak.lock()) queue->events.clear();
        return L"OK";
    case SimCommandKind::Status: {
        std::wstring queued;
        for (auto& weak : clients_)
            if (auto queue = weak.lock()) queued += L" " + std::to_wstring(queue->events.size());
        return L"OK pid=" + std::to_wstring(::GetCurrentProcessId()) + L" clients=" +
               std::to_wstring(clients) + L" queued=[" + queued + L" ] vanished=" +
               (vanished_ ? L"1" : L"0") + L" channels=" + channels_;
    }
    }
    return L"ERROR unknown command";
}
