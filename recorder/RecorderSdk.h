#pragma once
#include "ComVariant.h"

#include <cstdint>

// The part of the recording server's SDK object that event polling uses, so
// that tests can stand in for the server.
class IRecorderSdk {
public:
    // Returns the call's result; on 0 the variant holds one event record.
    // A failed call throws.
    virtual int32_t ReadMessage(ComVariant& message) = 0;

protected:
    ~IRecorderSdk() = default;
};
