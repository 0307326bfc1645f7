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
    Answered,  // `answer` holds the next message; `type` is its LDAP_RES_* type
    Stopped,   // stop was requested: the request is abandoned
    TimedOut,  // nothing came before the deadline: the request is abandoned
    Failed,    // the connection broke; `code` says how
};

// The next message for request `id` (LDAP_MSG_ONE: one entry at a time, so
// that nothing piles up unseen; LDAP_MSG_ALL: the whole answer).
TLdapWait AwaitLdapAnswer(LDAP* ld, ULONG id, ULONG all, const std::stop_token& stop, TLdapClock::time_point deadline,
                          LdapMessage& answer, ULONG& type, ULONG& code);
