#pragma once
#include <cstdint>
#include <string>

// Why a caller lookup for a popup gave no answer. The kinds up to LocalStoreError
// come from this workstation's directories, the others from the directory server.
enum class TLookupFailureKind : uint8_t {
    None,
    DirectoriesClosed,
    LocalStoreLocked,
    LocalStoreError,
    RemoteNotSet,
    ClientLockBusy,
    ServerNotReached,
    ExchangeFailed,
    ServerDirectoriesClosed,
    RemoteFailed,
    ServerNameNotResolved,
    // The lookup's time ran out: the name, the connection or the reply was late.
    ServerTimedOut,
};

struct TLookupFailure {
    TLookupFailureKind Kind = TLookupFailureKind::None;
    // The store's error text, or the server's address and port.
    std::wstring Detail;

    bool Failed() const { return Kind != TLookupFailureKind::None; }
    bool Remote() const { return Kind >= TLookupFailureKind::RemoteNotSet; }
};
