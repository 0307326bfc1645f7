#pragma once
#include "Caller.h"
#include "LookupFailure.h"

// A source of callers' names beside the subscriber directory. The lookup asks
// the sources in the order they were added, only while no name has been found.
class ICallerNameSource {
public:
    // Fills what it knows of caller.Number's caller (at least the name) and
    // returns true; false when it knows nothing, with the reason in failure
    // when it could not look. Runs on the main thread, inside the event stream:
    // a source that must wait answers later through TRecorderDispatch::SetCaller.
    virtual bool FindCaller(TCaller& caller, TLookupFailure& failure) = 0;

protected:
    ~ICallerNameSource() = default;
};
