#include "LdapReader.h"

#include "LdapHandles.h"

#include <cwchar>

namespace {

TOrgDirectoryFailure SearchFailureKind(ULONG code) {
    switch (code) {
    case LDAP_NO_SUCH_OBJECT:
    case LDAP_INVALID_DN_SYNTAX: return TOrgDirectoryFailure::NoSuchBase;
    case LDAP_FILTER_ERROR: return TOrgDirectoryFailure::BadFilter;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_CONNECT_ERROR:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
    case LDAP_TIMELIMIT_EXCEEDED:
    case LDAP_DECODING_ERROR:
    case LDAP_ENCODING_ERROR: return TOrgDirectoryFailure::Interrupted;
    default: return TOrgDirectoryFailure::SearchRefused;
    }
}

TOrgDirectoryError Failure(TOrgDirectoryFailure kind, const std::wstring& server, LDAP* ld, ULONG code,
                           const wchar_t* serverMessage = nullptr) {
    return {kind, code, server, LdapFailureDetail(ld, code, serverMessage)};
}

// Opens and binds a session to one server.
TOrgDirectoryError Connect(const std::wstring& server, const TLdapServerAddress& address,
                           const TLdapCredentials& credentials, unsigned long timeoutSeconds, LdapSession& session) {
    if (TOrgDirectoryError failure = OpenLdapConnection(server, address, credentials, timeoutSeconds, session))
        return failure;
    return BindLdapConnection(server, session.get(), credentials);
}

void ReadPageEntries(LDAP* ld, LDAPMessage* page, std::vector<std::wstring>& attributes, const TLdapEntrySink& sink) {
    TLdapValues values(attributes.size());
    for (LDAPMessage* entry = ::ldap_first_entry(ld, page); entry; entry = ::ldap_next_entry(ld, entry)) {
        for (size_t i = 0; i < attributes.size(); ++i) {
            values[i].clear();
            const LdapValues found(::ldap_get_valuesW(ld, entry, attributes[i].data()));
            if (!found) continue;
            for (PWCHAR* value = found.get(); *value; ++value) values[i].emplace_back(*value);
        }
        sink(values);
    }
}

TOrgDirectoryError PagedSearch(const std::wstring& server, LDAP* ld, const TLdapSearch& search,
                               const TLdapEntrySink& sink, const std::atomic<bool>* cancel) {
    std::wstring base = search.Base;
    std::wstring filter = search.Filter;
    std::vector<std::wstring> attributes = search.Attributes;
    std::vector<PWCHAR> attributeList;
    for (std::wstring& attribute : attributes) attributeList.push_back(attribute.data());
    attributeList.push_back(nullptr);

    LdapBerval cookie;
    for (;;) {
        if (cancel && cancel->load()) return {TOrgDirectoryFailure::Cancelled, 0, server, {}};
        PLDAPControlW created = nullptr;
        // Not critical: a server without paging answers in one go, and one that
        // then stops at its size limit is caught below.
        ULONG code = ::ldap_create_page_controlW(ld, search.PageSize, cookie.get(), FALSE, &created);
        const LdapControl pageControl(created);
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::SearchRefused, server, ld, code);
        PLDAPControlW serverControls[] = {pageControl.get(), nullptr};
        l_timeval timeout{static_cast<LONG>(search.TimeoutSeconds), 0};
        LDAPMessage* result = nullptr;
        code = ::ldap_search_ext_sW(ld, base.data(), LDAP_SCOPE_SUBTREE, filter.data(), attributeList.data(), 0,
                                    serverControls, nullptr, &timeout, 0, &result);
        const LdapMessage page(result);
        if (code != LDAP_SUCCESS) return Failure(SearchFailureKind(code), server, ld, code);
        if (!page) return Failure(TOrgDirectoryFailure::Interrupted, server, ld, LDAP_NO_RESULTS_RETURNED);

        ULONG resultCode = LDAP_SUCCESS;
        PWCHAR message = nullptr;
        PLDAPControlW* returned = nullptr;
        code = ::ldap_parse_resultW(ld, page.get(), &resultCode, nullptr, &message, nullptr, &returned, FALSE);
        const LdapText serverMessage(message);
        const LdapControls returnedControls(returned);
        if (code != LDAP_SUCCESS) return Failure(TOrgDirectoryFailure::Interrupted, server, ld, code);
        if (resultCode != LDAP_SUCCESS)
            return Failure(SearchFailureKind(resultCode), server, ld, resultCode, serverMessage.get());

        ReadPageEntries(ld, page.get(), attributes, sink);

        // No page control in the answer: the server sent everything at once.
        if (!returnedControls) return {};
        ULONG total = 0;
        berval* next = nullptr;
        if (::ldap_parse_page_controlW(ld, returnedControls.get(), &total, &next) != LDAP_SUCCESS) return {};
        cookie.reset(next);
        if (!cookie || cookie.get()->bv_len == 0) return {};
    }
}

}  // namespace

TOrgDirectoryError ReadLdapEntries(const std::vector<std::wstring>& servers, const TLdapCredentials& credentials,
                                   const TLdapSearch& search, const TLdapEntrySink& sink,
                                   const std::atomic<bool>* cancel) {
    if (servers.empty()) return {TOrgDirectoryFailure::NotConfigured, 0, {}, {}};
    // A mistyped entry is told even when a working server stands before it.
    std::vector<TLdapServerAddress> addresses;
    for (const std::wstring& server : servers) {
        std::optional<TLdapServerAddress> address = ParseLdapServer(server);
        if (!address) return {TOrgDirectoryFailure::BadServerAddress, 0, server, {}};
        addresses.push_back(std::move(*address));
    }
    TOrgDirectoryError failure;
    for (size_t i = 0; i < servers.size(); ++i) {
        if (cancel && cancel->load()) return {TOrgDirectoryFailure::Cancelled, 0, servers[i], {}};
        LdapSession session;
        failure = Connect(servers[i], addresses[i], credentials, search.TimeoutSeconds, session);
        if (failure.Kind == TOrgDirectoryFailure::ServerUnreachable) continue;
        if (failure) return failure;
        if (search.LeaveOutDisabledAccounts && IsActiveDirectory(session.get(), search.TimeoutSeconds)) {
            TLdapSearch enabledOnly = search;
            enabledOnly.Filter = EnabledAccountsFilter(search.Filter);
            return PagedSearch(servers[i], session.get(), enabledOnly, sink, cancel);
        }
        return PagedSearch(servers[i], session.get(), search, sink, cancel);
    }
    return failure;
}
