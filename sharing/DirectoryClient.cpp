#include "DirectoryClient.h"

#include "AppError.h"
#include "DirectoryProtocol.h"
#include "ResourceText.h"
#include "SharingRes.h"
#include "SocketStream.h"

using namespace DirectoryProtocol;

namespace {

// Releases the client lock on every way out of an exchange.
class TClientLockHold {
public:
    explicit TClientLockHold(std::recursive_mutex& lock) : FLock(lock) {}
    ~TClientLockHold() { FLock.unlock(); }
    TClientLockHold(const TClientLockHold&) = delete;
    TClientLockHold& operator=(const TClientLockHold&) = delete;

private:
    std::recursive_mutex& FLock;
};

TReadExact ReaderOf(TSocketStream& stream) {
    return [&stream](char* buffer, size_t size) { stream.ReadExact(buffer, size); };
}

TDBTestResult TestResult(TDBTestOutcome outcome) {
    switch (outcome) {
    case TDBTestOutcome::Success:
        return {outcome, LoadResourceString(IDS_DBTEST_SUCCESS), MB_ICONINFORMATION};
    case TDBTestOutcome::NotActive:
        return {outcome, LoadResourceString(IDS_DBTEST_NOT_ACTIVE), MB_ICONWARNING};
    case TDBTestOutcome::CannotConnect:
        return {outcome, LoadResourceString(IDS_DBTEST_CANNOT_CONNECT), MB_ICONWARNING};
    case TDBTestOutcome::TimedOut:
        break;
    }
    return {TDBTestOutcome::TimedOut, LoadResourceString(IDS_DBTEST_TIMED_OUT), MB_ICONWARNING};
}

}  // namespace

TDirectoryClient::TDirectoryClient(TDirectoryClientTimings timings) : FTimings(timings) {}

void TDirectoryClient::SetServer(const std::wstring& address, int port) {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    FDBServerAddress = address;
    FDBPort = port;
}

TSocketStream TDirectoryClient::OpenAppliedServer() {
    std::wstring address;
    int port = 0;
    {
        std::lock_guard<std::mutex> guard(FSettingsLock);
        address = FDBServerAddress;
        port = FDBPort;
    }
    return TSocketStream(address, port, FTimings.ConnectTimeoutMs, FTimings.IoTimeoutMs);
}

bool TDirectoryClient::TakeClientLock() {
    for (int attempt = 0; attempt < FTimings.LockAttempts; ++attempt) {
        if (FClientLock.try_lock()) return true;
        ::Sleep(FTimings.LockRetrySleepMs);
    }
    return false;
}

std::wstring TDirectoryClient::AppliedServerText() {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    return FDBServerAddress + L":" + std::to_wstring(FDBPort);
}

bool TDirectoryClient::GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name,
                                                         std::wstring& region, std::wstring& comment) {
    TLookupFailure failure;
    return LookupRemoteWithReason(phone, name, region, comment, failure);
}

bool TDirectoryClient::LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                              std::wstring& comment, TLookupFailure& failure) {
    name.clear();
    region.clear();
    comment.clear();
    failure = {};
    if (!TakeClientLock()) {
        failure.Kind = TLookupFailureKind::ClientLockBusy;
        return false;
    }
    TClientLockHold hold(FClientLock);
    try {
        TSocketStream stream = OpenAppliedServer();
        stream.Write(EncodeLookupRequest(phone));
        if (ReadLookupReply(ReaderOf(stream), name, region, comment) == kLookupDone) return true;
        failure.Kind = TLookupFailureKind::ServerDirectoriesClosed;
    } catch (const TExchangeFailure& error) {
        failure = {error.stage() == TExchangeFailure::Stage::Open ? TLookupFailureKind::ServerNotReached
                                                                  : TLookupFailureKind::ExchangeFailed,
                   AppliedServerText()};
    } catch (const std::exception&) {
        failure = {TLookupFailureKind::ExchangeFailed, AppliedServerText()};
    }
    return false;
}

void TDirectoryClient::AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                        const std::wstring& AbonentComment) {
    const auto notStored = [] { return AppError(LoadResourceString(IDS_DBSAVE_NOT_STORED)); };
    if (!TakeClientLock()) throw notStored();
    TClientLockHold hold(FClientLock);
    try {
        TSocketStream stream = OpenAppliedServer();
        stream.Write(EncodeSaveRequest(PhoneNumber, AbonentName, AbonentComment));
        // The server replies only once the row is stored; its value says nothing more.
        (void)ReadSaveReply(ReaderOf(stream));
    } catch (const std::exception&) {
        throw notStored();
    }
}

TDBTestResult TDirectoryClient::TestConnection(const std::wstring& host, int port) {
    if (!TakeClientLock()) return TestResult(TDBTestOutcome::CannotConnect);
    TClientLockHold hold(FClientLock);
    try {
        TSocketStream stream(host, port, FTimings.ConnectTimeoutMs, FTimings.IoTimeoutMs);
        stream.Write(EncodeCheckRequest());
        return TestResult(ReadCheckReply(ReaderOf(stream)) ? TDBTestOutcome::Success : TDBTestOutcome::NotActive);
    } catch (const TExchangeFailure& failure) {
        return TestResult(failure.stage() == TExchangeFailure::Stage::Open ? TDBTestOutcome::CannotConnect
                                                                           : TDBTestOutcome::TimedOut);
    } catch (const std::exception&) {
        return TestResult(TDBTestOutcome::TimedOut);
    }
}
