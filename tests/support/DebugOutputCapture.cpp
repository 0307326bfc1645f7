#include "DebugOutputCapture.h"

#include <chrono>
#include <cstring>

DebugOutputCapture::DebugOutputCapture() {
    bufferReady_.reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    dataReady_.reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"));
    if (!bufferReady_ || !dataReady_ || !mapping_) return;
    view_ = ::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096);
    if (!view_) return;
    ok_ = true;
    thread_ = std::thread([this] { Loop(); });
}

DebugOutputCapture::~DebugOutputCapture() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable()) {
        ::SetEvent(dataReady_.get());
        thread_.join();
    }
    if (view_) ::UnmapViewOfFile(view_);
}

void DebugOutputCapture::Loop() {
    while (true) {
        ::SetEvent(bufferReady_.get());
        if (::WaitForSingleObject(dataReady_.get(), INFINITE) != WAIT_OBJECT_0) return;
        std::lock_guard lock(mutex_);
        if (stop_) return;
        const auto* block = static_cast<const char*>(view_);
        DWORD processId = 0;
        std::memcpy(&processId, block, sizeof(processId));
        const char* text = block + sizeof(DWORD);
        lines_.push_back({processId, std::string(text, strnlen(text, 4096 - sizeof(DWORD)))});
        changed_.notify_all();
    }
}

std::vector<std::string> DebugOutputCapture::Lines(DWORD processId) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& line : lines_)
        if (line.processId == processId) result.push_back(line.text);
    return result;
}

bool DebugOutputCapture::WaitForLines(DWORD processId, size_t count, DWORD timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t seen = 0;
        for (const auto& line : lines_)
            if (line.processId == processId) ++seen;
        return seen >= count;
    });
}
