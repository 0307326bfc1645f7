#pragma once
#include "RecorderEvent.h"
#include "RecorderSdk.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Puts a copy of the bytes into the variant as a one-dimensional byte array.
void PutByteArray(VARIANT& target, const std::vector<uint8_t>& bytes);

// Stands in for the recording server's SDK object: replies are queued in order,
// and an exhausted queue answers 1 ("empty for now").
class FakeRecorderSdk : public IRecorderSdk {
public:
    void Queue(int32_t code, const std::wstring& channel = L"", const std::wstring& text = L"");
    void QueueBlock(std::vector<uint8_t> block);
    // The reply fills the variant itself, for records that are not what they should be.
    void QueueVariant(std::function<void(VARIANT&)> fill);
    // The call fails as a dispatch call to a vanished server does.
    void QueueFailure();

    int32_t ReadMessage(ComVariant& message) override;

    size_t Pending() const { return replies_.size(); }
    int reads = 0;
    // When set, the queue never runs empty: every call gets this record.
    std::optional<std::vector<uint8_t>> endless;

private:
    std::deque<std::function<void(VARIANT&)>> replies_;
};
