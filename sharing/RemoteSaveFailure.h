#pragma once
#include "LookupFailure.h"

#include <stdexcept>
#include <utility>

// A save that did not reach the directory server, and why (a remote kind of
// TLookupFailureKind); the window that reports failed saves words it.
class TRemoteSaveFailure : public std::runtime_error {
public:
    explicit TRemoteSaveFailure(TLookupFailure reason)
        : std::runtime_error("the save did not reach the directory server"), FReason(std::move(reason)) {}
    const TLookupFailure& reason() const noexcept { return FReason; }

private:
    TLookupFailure FReason;
};
