#pragma once
#include <windows.h>
#include <winldap.h>

#include "UniqueHandle.h"

// Owning handles for what wldap32 hands out: each is released by its own call.
struct LdapSessionTraits {
    using Value = LDAP*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_unbind(v); }
};
struct LdapMessageTraits {
    using Value = LDAPMessage*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_msgfree(v); }
};
struct LdapControlTraits {
    using Value = PLDAPControlW;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_control_freeW(v); }
};
struct LdapControlsTraits {
    using Value = PLDAPControlW*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_controls_freeW(v); }
};
struct LdapBervalTraits {
    using Value = berval*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ber_bvfree(v); }
};
struct LdapValuesTraits {
    using Value = PWCHAR*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_value_freeW(v); }
};
struct LdapTextTraits {
    using Value = PWCHAR;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::ldap_memfreeW(v); }
};

using LdapSession = UniqueHandle<LdapSessionTraits>;
using LdapMessage = UniqueHandle<LdapMessageTraits>;
using LdapControl = UniqueHandle<LdapControlTraits>;
using LdapControls = UniqueHandle<LdapControlsTraits>;
using LdapBerval = UniqueHandle<LdapBervalTraits>;
using LdapValues = UniqueHandle<LdapValuesTraits>;
using LdapText = UniqueHandle<LdapTextTraits>;
