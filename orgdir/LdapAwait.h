#pragma once
#include "LdapHandles.h"

#include <chrono>
#include <stop_token>

// Waiting for a server's answer to an asynchronous request without ever being
// stuck in it: the wait goes in short slices, looking at the stop token and
// the deadline between them.

using TLdapClock = std::chrono::steady_clock;
inline constexpr std::chrono::milliseconds kLdapPollSlice{100};

enum class TLdapWait {
    Answered,  // `answer` holds the message(s); `type` is the first one's LDAP_RES_* type
    Stopped,   // stop was requested: the request is abandoned
    TimedOut,  // nothing came before the deadline: the request is abandoned
    Failed,    // the connection broke; `code` says how
};

// The next answer to request `id`: LDAP_MSG_ALL waits for the whole of it;
// LDAP_MSG_RECEIVED hands over the whole answer when it comes within a slice,
// else what has come meanwhile (a search's entries in batches, so that
// nothing piles up unseen); LDAP_MSG_ONE one message.
TLdapWait AwaitLdapAnswer(LDAP* ld, ULONG id, ULONG all, const std::stop_token& stop, TLdapClock::time_point deadline,
                          LdapMessage& answer, ULONG& type, ULONG& code);
