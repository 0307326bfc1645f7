#pragma once
#include "CallJournal.h"
#include "RecorderDispatch.h"

#include <cstdint>
#include <string>

// The call a name found after its popup (a CRM's answer, a subscriber table
// that another workstation held locked) is for.
struct TLateNameTarget {
    int64_t CallId = 0;
    // As the recorder names the channel now: a rename follows the call.
    std::wstring Channel;
    bool Ended = false;
};

// Names the call the way the popup would have at once: a call still in
// progress whose caller has no name yet through the dispatch (the popup, the
// journal at the call's end, the other listeners); a call that has ended in
// the journal only. An empty name names nothing.
void GiveLateName(TRecorderDispatch& dispatch, TCallJournal& journal, const TLateNameTarget& target,
                  const std::wstring& name, const std::wstring& comment);
