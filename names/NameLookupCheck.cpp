#include "NameLookupCheck.h"

#include "ExceptionText.h"
#include "HttpNameLookup.h"

#include <system_error>
#include <utility>

TNameLookupCheck::TNameLookupCheck() : FCancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TNameLookupCheck::~TNameLookupCheck() { Cancel(); }

bool TNameLookupCheck::Start(const THttpLookupSettings& settings, const std::wstring& number,
                             std::function<void()> wake) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FRunning) return false;
        FRunning = true;
        FResult.reset();
    }
    // The previous check's thread has ended (FRunning was false).
    if (FThread.joinable()) FThread.join();
    ::ResetEvent(FCancel.get());
    try {
        FThread = std::thread([this, settings, number, wake = std::move(wake)]() noexcept {
            THttpNameResult result;
            try {
                result = LookUpNameOverHttp(settings, number, {}, FCancel.get());
            } catch (...) {
                result = THttpNameResult::Fail(THttpNameError::Internal, GetExceptionText(std::current_exception()));
            }
            {
                std::lock_guard<std::mutex> lock(FLock);
                FResult = std::move(result);
                FRunning = false;
            }
            try {
                if (wake) wake();
            } catch (...) {
                // The window polls Running when it cannot be told.
            }
        });
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(FLock);
        FRunning = false;
        return false;
    }
    return true;
}

bool TNameLookupCheck::Running() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRunning;
}

std::optional<THttpNameResult> TNameLookupCheck::Take() {
    std::lock_guard<std::mutex> lock(FLock);
    return std::exchange(FResult, std::nullopt);
}

void TNameLookupCheck::Cancel() {
    ::SetEvent(FCancel.get());
    if (FThread.joinable()) FThread.join();
    std::lock_guard<std::mutex> lock(FLock);
    FResult.reset();
}
