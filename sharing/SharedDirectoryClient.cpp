#include "SharedDirectoryClient.h"

#include "SharedDirectoryProtocol.h"

#include <algorithm>

using namespace SharedDirectoryProtocol;

namespace {

using Stage = TExchangeFailure::Stage;

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

TLookupFailureKind FailureKind(const TExchangeFailure& failure) {
    if (failure.deadlinePassed()) return TLookupFailureKind::ServerTimedOut;
    switch (failure.stage()) {
    case Stage::Resolve: return TLookupFailureKind::ServerNameNotResolved;
    case Stage::Open: return TLookupFailureKind::ServerNotReached;
    case Stage::Transfer: break;
    }
    return TLookupFailureKind::ExchangeFailed;
}

std::wstring ServerText(const std::wstring& address, int port) { return address + L":" + std::to_wstring(port); }

}  // namespace

TSharedDirectoryClient::TSharedDirectoryClient(TSharedDirectoryClientTimings timings,
                                               TServerResolver::TResolveFunction resolve)
    : FTimings(timings), FResolver(std::move(resolve)) {}

void TSharedDirectoryClient::SetServer(const std::wstring& address, int port) {
    {
        std::lock_guard<std::mutex> guard(FSettingsLock);
        FDBServerAddress = address;
        FDBPort = port;
    }
    FResolver.Prefetch(address);
}

void TSharedDirectoryClient::RenewServerAddress() {
    std::wstring address;
    int port = 0;
    AppliedServer(address, port);
    FResolver.Renew(address);
}

void TSharedDirectoryClient::AppliedServer(std::wstring& address, int& port) {
    std::lock_guard<std::mutex> guard(FSettingsLock);
    address = FDBServerAddress;
    port = FDBPort;
}

IRemoteDirectory::TDeadline TSharedDirectoryClient::ExchangeDeadline() const {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(FTimings.ExchangeTimeoutMs);
}

TSocketStream TSharedDirectoryClient::Open(const std::wstring& host, int port, TDeadline deadline) {
    if (host.empty()) throw TExchangeFailure(Stage::Open, "no server address");
    if (port < 1 || port > 65535) throw TExchangeFailure(Stage::Open, "port outside 1..65535");
    const TServerResolver::TResult resolved = FResolver.Resolve(host, deadline);
    if (resolved.State == TServerResolver::TState::Pending)
        throw TExchangeFailure(Stage::Resolve, "the server's name is still being resolved", true);
    if (resolved.State == TServerResolver::TState::NotResolved)
        throw TExchangeFailure(Stage::Resolve, "the server's name is not resolved");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = resolved.Address;
    address.sin_port = ::htons(static_cast<u_short>(port));
    return TSocketStream(address, deadline, FTimings.ConnectTimeoutMs, FTimings.IoTimeoutMs);
}

bool TSharedDirectoryClient::TakeClientLock(TDeadline deadline) {
    using namespace std::chrono;
    for (int attempt = 0; attempt < FTimings.LockAttempts; ++attempt) {
        if (FClientLock.try_lock()) return true;
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return false;
        ::Sleep(static_cast<DWORD>(std::min<long long>(FTimings.LockRetrySleepMs, left)));
    }
    return false;
}

bool TSharedDirectoryClient::GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name,
                                                         std::wstring& region, std::wstring& comment) {
    TLookupFailure failure;
    return LookupRemoteWithReason(phone, name, region, comment, failure);
}

bool TSharedDirectoryClient::LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                              std::wstring& comment, TLookupFailure& failure) {
    return LookupRemoteWithReason(phone, name, region, comment, failure,
                                  std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(FTimings.LockAttempts * FTimings.LockRetrySleepMs) +
                                      std::chrono::milliseconds(FTimings.ExchangeTimeoutMs));
}

bool TSharedDirectoryClient::LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                              std::wstring& comment, TLookupFailure& failure, TDeadline deadline) {
    name.clear();
    region.clear();
    comment.clear();
    failure = {};
    if (!TakeClientLock(deadline)) {
        failure.Kind = TLookupFailureKind::ClientLockBusy;
        return false;
    }
    TClientLockHold hold(FClientLock);
    std::wstring address;
    int port = 0;
    AppliedServer(address, port);
    try {
        TSocketStream stream = Open(address, port, deadline);
        stream.Write(EncodeLookupRequest(phone));
        if (ReadLookupReply(ReaderOf(stream), name, region, comment) == kLookupDone) return true;
        failure.Kind = TLookupFailureKind::ServerDirectoriesClosed;
    } catch (const TExchangeFailure& error) {
        failure = {FailureKind(error), ServerText(address, port)};
    } catch (const std::exception&) {
        failure = {TLookupFailureKind::ExchangeFailed, ServerText(address, port)};
    }
    return false;
}

void TSharedDirectoryClient::AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                        const std::wstring& AbonentComment) {
    std::wstring address;
    int port = 0;
    AppliedServer(address, port);
    // The lock is tried as it always was; the exchange's own time starts once it is held.
    if (!TakeClientLock(TDeadline::max())) throw TRemoteSaveFailure({TLookupFailureKind::ClientLockBusy, {}});
    TClientLockHold hold(FClientLock);
    try {
        TSocketStream stream = Open(address, port, ExchangeDeadline());
        stream.Write(EncodeSaveRequest(PhoneNumber, AbonentName, AbonentComment));
        // The server replies only once the row is stored; its value says nothing more.
        (void)ReadSaveReply(ReaderOf(stream));
    } catch (const TExchangeFailure& error) {
        throw TRemoteSaveFailure({FailureKind(error), ServerText(address, port)});
    } catch (const std::exception&) {
        throw TRemoteSaveFailure({TLookupFailureKind::ExchangeFailed, ServerText(address, port)});
    }
}

TDBTestOutcome TSharedDirectoryClient::TestConnection(const std::wstring& host, int port) {
    if (!TakeClientLock(TDeadline::max())) return TDBTestOutcome::CannotConnect;
    TClientLockHold hold(FClientLock);
    try {
        TSocketStream stream = Open(host, port, ExchangeDeadline());
        stream.Write(EncodeCheckRequest());
        return ReadCheckReply(ReaderOf(stream)) ? TDBTestOutcome::Success : TDBTestOutcome::NotActive;
    } catch (const TExchangeFailure& failure) {
        return failure.stage() == Stage::Transfer ? TDBTestOutcome::TimedOut : TDBTestOutcome::CannotConnect;
    } catch (const std::exception&) {
        return TDBTestOutcome::TimedOut;
    }
}
