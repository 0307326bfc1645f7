#include "FakeRecorderSdk.h"

#include "AppError.h"

#include <cstring>

void PutByteArray(VARIANT& target, const std::vector<uint8_t>& bytes) {
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw AppError(L"out of memory");
    if (!bytes.empty()) {
        void* data = nullptr;
        ::SafeArrayAccessData(array, &data);
        std::memcpy(data, bytes.data(), bytes.size());
        ::SafeArrayUnaccessData(array);
    }
    target.vt = VT_ARRAY | VT_UI1;
    target.parray = array;
}

void FakeRecorderSdk::Queue(int32_t code, const std::wstring& channel, const std::wstring& text) {
    QueueBlock(EncodeRecorderEvent({code, channel, text}));
}

void FakeRecorderSdk::QueueBlock(std::vector<uint8_t> block) {
    replies_.push_back([block = std::move(block)](VARIANT& target) { PutByteArray(target, block); });
}

void FakeRecorderSdk::QueueVariant(std::function<void(VARIANT&)> fill) { replies_.push_back(std::move(fill)); }

void FakeRecorderSdk::QueueFailure() {
    replies_.push_back([](VARIANT&) -> void { throw AppError(L"Сервер RPC недоступен."); });
}

int32_t FakeRecorderSdk::ReadMessage(ComVariant& message) {
    ++reads;
    message.clear();
    if (endless) {
        PutByteArray(*message.get(), *endless);
        return 0;
    }
    if (replies_.empty()) return 1;
    auto reply = std::move(replies_.front());
    replies_.pop_front();
    reply(*message.get());
    return 0;
}
