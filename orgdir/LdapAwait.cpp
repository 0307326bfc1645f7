#include "LdapAwait.h"

#include <algorithm>

TLdapWait AwaitLdapAnswer(LDAP* ld, ULONG id, ULONG all, const std::stop_token& stop, TLdapClock::time_point deadline,
                          LdapMessage& answer, ULONG& type, ULONG& code) {
    answer.reset();
    type = 0;
    code = LDAP_SUCCESS;
    for (;;) {
        if (stop.stop_requested()) {
            ::ldap_abandon(ld, id);
            return TLdapWait::Stopped;
        }
        const auto now = TLdapClock::now();
        if (now >= deadline) {
            ::ldap_abandon(ld, id);
            code = LDAP_TIMEOUT;
            return TLdapWait::TimedOut;
        }
        const auto slice = std::min<TLdapClock::duration>(kLdapPollSlice, deadline - now);
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(slice).count();
        l_timeval timeout{static_cast<LONG>(micros / 1000000), static_cast<LONG>(micros % 1000000)};
        LDAPMessage* message = nullptr;
        ULONG result = 0;
        if (all == LDAP_MSG_RECEIVED) {
            // Taking a search's messages one call each costs more than reading
            // them (a call per entry is a third of a millisecond under Wine):
            // a slice's wait for the whole answer, then what came meanwhile.
            result = ::ldap_result(ld, id, LDAP_MSG_ALL, &timeout, &message);
            if (result == 0) {
                l_timeval none{0, 0};
                result = ::ldap_result(ld, id, LDAP_MSG_RECEIVED, &none, &message);
            }
        } else {
            result = ::ldap_result(ld, id, all, &timeout, &message);
        }
        answer.reset(message);
        if (result == 0) continue;
        if (result == static_cast<ULONG>(-1) || !answer) {
            code = ::LdapGetLastError();
            if (code == LDAP_SUCCESS) code = static_cast<ULONG>(LDAP_SERVER_DOWN);
            return TLdapWait::Failed;
        }
        type = result;
        return TLdapWait::Answered;
    }
}
