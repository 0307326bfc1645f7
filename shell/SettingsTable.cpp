#include "SettingsTable.h"

#include "CrmNamesRes.h"
#include "MainFormRes.h"
#include "OrgDirectoryRes.h"
#include "PopupMonitorRes.h"
#include "SqlDirectoryRes.h"

#include <type_traits>

namespace {

template <class> struct MemberTraits;
template <class C, class T> struct MemberTraits<T C::*> {
    using Class = C;
    using Type = T;
};

// The object a member pointer points into: the main window's fields (its
// recorder part included) or the popup manager's.
template <class C> C& Owner(const TSettingsRef& settings) {
    if constexpr (std::is_base_of_v<C, TMainFormSettings>) return settings.Main;
    else return settings.Popups;
}

// Enumerations are kept as their ordinals, which is what the file stores.
template <auto Member> TSettingValue GetField(const TSettingsRef& settings) {
    using Traits = MemberTraits<decltype(Member)>;
    const auto& value = Owner<typename Traits::Class>(settings).*Member;
    if constexpr (std::is_enum_v<typename Traits::Type>) return static_cast<int>(value);
    else return value;
}

template <auto Member> void SetField(const TSettingsRef& settings, const TSettingValue& value) {
    using Traits = MemberTraits<decltype(Member)>;
    using Type = typename Traits::Type;
    auto& field = Owner<typename Traits::Class>(settings).*Member;
    if constexpr (std::is_enum_v<Type>) field = static_cast<Type>(std::get<int>(value));
    else field = std::get<Type>(value);
}

template <auto Member>
constexpr TSettingRow Row(const wchar_t* key, TSettingStore store, unsigned save, int controlId,
                          TSettingControl control, bool readDefaultsToFalse = false) {
    return {key, store, save, controlId, control, &GetField<Member>, &SetField<Member>, readDefaultsToFalse};
}

// A row an administrator can fix, with the policy value that does it.
constexpr TSettingRow Enforceable(TSettingRow row, const wchar_t* policyValue) {
    row.PolicyValue = policyValue;
    return row;
}

// Most policy values are named after the INI key they fix.
constexpr TSettingRow Enforceable(TSettingRow row) { return Enforceable(row, row.Key); }

// A row edited and applied apart from the settings window.
constexpr TSettingRow Of(TSettingsPart part, TSettingRow row) {
    row.Part = part;
    return row;
}

using S = TSettingStore;
using C = TSettingControl;
using M = TMainFormSettings;
using P = TTrayMsgWinsSettings;
constexpr unsigned kBoth = ssDBParams | ssParams;
constexpr unsigned kLookup = ssParams | ssCrmNames;
constexpr unsigned kQuiet = ssParams | ssQuietHours;
constexpr TSettingsPart Q = TSettingsPart::QuietHours;
constexpr TSettingsPart O = TSettingsPart::OrgDirectory;
constexpr TSettingsPart L = TSettingsPart::CrmNames;
constexpr TSettingsPart D = TSettingsPart::SqlDirectory;

// A file written from scratch holds the keys in this order: SaveDBParams'
// keys first, then those that only SaveParams writes.
const TSettingRow kRows[] = {
    Enforceable(Row<&M::FActive>(L"Active", S::Bool, kBoth, IDC_CBACTIVE, C::Special, true)),
    Enforceable(Row<&M::FServerName>(L"Server", S::Text, kBoth, IDC_LESERVER, C::Edit)),
    Enforceable(Row<&M::FCityCodesDir>(L"AreaCodesPath", S::Text, kBoth, IDC_LEAREAPATH, C::Edit)),
    Enforceable(Row<&M::FAbonentPhoneDir>(L"AbonentPhonePath", S::Text, kBoth, IDC_LEABONENTPATH, C::Edit)),
    Enforceable(Row<&M::FUseRemoteDB>(L"UseRemoteDB", S::Bool, ssDBParams, IDC_USEREMOTEDBCHECKBOX, C::CheckBox)),
    Enforceable(Row<&M::FDBAsClient>(L"DBAsClient", S::Bool, ssDBParams, IDC_DBTYPE_CLIENT, C::Special)),
    Enforceable(
        Row<&M::FDBServerAddress>(L"DBServerAddress", S::Text, ssDBParams, IDC_ADDRESSLABELEDEDIT, C::Edit)),
    Enforceable(Row<&M::FDBPort>(L"DBPort", S::Integer, ssDBParams, IDC_PORTSPINEDIT, C::LenientIntEdit)),
    Enforceable(Row<&M::FDBAllowedClients>(L"DBAllowedClients", S::Text, ssDBParams, IDC_DBALLOWEDCLIENTS,
                                           C::AllowListEdit)),
    Row<&M::FChannels>(L"Channels", S::QuotedList, ssParams, IDC_CLBCHANNELS, C::Special),
    Row<&P::WinWidth>(L"WinWidth", S::Integer, ssParams, IDC_EDITTWMWIDTH, C::IntegerEdit),
    Row<&P::WinHeight>(L"WinHeight", S::Integer, ssParams, IDC_EDITTWMHEIGHT, C::IntegerEdit),
    Row<&P::TrayMsgPos>(L"TrayMsgPos", S::Integer, ssParams, IDC_CBTMWPOS, C::ComboIndex),
    Row<&P::TrayMsgAnimate>(L"TrayMsgAnimate", S::Integer, ssParams, IDC_CBTMWSTYLE, C::ComboIndex),
    Row<&P::Rows>(L"Rows", S::Integer, ssParams, IDC_EDITTWMROWS, C::IntegerEdit),
    Row<&P::Displacement>(L"Displacement", S::Integer, ssParams, IDC_EDITTWMDISP, C::IntegerEdit),
    Row<&P::Monitor>(L"PopupMonitor", S::Integer, ssParams, IDC_CBMONITOR, C::ComboIndex),
    Row<&M::FCloseTMWOnStart>(L"CloseTMWOnStart", S::Bool, ssParams, IDC_CBCLOSETMWONSTART, C::CheckBox),
    Row<&M::FCallerIDOnly>(L"CallerIDOnly", S::Bool, ssParams, IDC_CBCALLERIDONLY, C::CheckBox),
    Row<&M::FDefaultCountryCode>(L"DefaultCountryCode", S::Text, ssParams, IDC_LECOUNTRYCODE, C::Edit),
    Row<&M::FDefaultCityCode>(L"DefaultCityCode", S::Text, ssParams, IDC_LECITYCODE, C::Edit),
    Row<&M::FCityPrefixes>(L"CityPrefixes", S::PrefixList, ssParams, IDC_LECITYPREFIX, C::ListEdit),
    Row<&M::FUseCityPrefixForIncoming>(L"UseCityPrefixForIncoming", S::Bool, ssParams,
                                       IDC_CBUSECITYPREFIXFORINCOMING, C::CheckBox),
    Row<&M::FWorldPrefixes>(L"InternationalCarrierCode", S::PrefixList, ssParams, IDC_LEINTERNATIONALCARRIERCODE,
                            C::ListEdit),
    Row<&M::FCountryPrefixes>(L"LongDistanceCarrierCode", S::PrefixList, ssParams, IDC_LELONGDISTANCECARRIERCODE,
                              C::ListEdit),
    Row<&M::FFontName>(L"FontName", S::QuotedText, ssParams, IDC_CBFONTNAMES, C::ComboText),
    Row<&M::FFontSize>(L"FontSize", S::Integer, ssParams, IDC_CBFONTSIZES, C::ComboInteger),
    Row<&P::IsPhoneShowed>(L"IsNumberShowed", S::Bool, ssParams, IDC_PHONESHOWCHECKBOX, C::CheckBox),
    Row<&P::IsNameShowed>(L"IsNameShowed", S::Bool, ssParams, IDC_NAMESHOWCHECKBOX, C::CheckBox),
    Row<&P::IsRegionShowed>(L"IsRegionShowed", S::Bool, ssParams, IDC_REGIONSHOWCHECKBOX, C::CheckBox),
    Row<&P::IsCommentShowed>(L"IsCommentShowed", S::Bool, ssParams, IDC_COMMENTSHOWCHECKBOX, C::CheckBox),
    Row<&P::IsPhoneBold>(L"IsPhoneBold", S::Bool, ssParams, IDC_PHONEBOLDBUTTON, C::BoldButton),
    Row<&P::IsNameBold>(L"IsNameBold", S::Bool, ssParams, IDC_NAMEBOLDBUTTON, C::BoldButton),
    Row<&P::IsRegionBold>(L"IsRegionBold", S::Bool, ssParams, IDC_REGIONBOLDBUTTON, C::BoldButton),
    Row<&P::IsCommentBold>(L"IsCommentBold", S::Bool, ssParams, IDC_COMMENTBOLDBUTTON, C::BoldButton),
    // The call journal's keys have no control in the settings window.
    Enforceable(Row<&M::FJournalDays>(L"JournalDays", S::Integer, ssParams, 0, C::None)),
    Enforceable(Row<&M::FJournalMaxCalls>(L"JournalMaxCalls", S::Integer, ssParams, 0, C::None)),
    Enforceable(Row<&M::FMissedCallBalloon>(L"MissedCallBalloon", S::Bool, ssParams, 0, C::None)),
    Enforceable(Row<&M::FCrmUrlTemplate>(L"CrmUrlTemplate", S::Text, ssParams, IDC_EDITCRMURLTEMPLATE,
                                         C::UrlTemplateEdit)),
    Enforceable(Row<&M::FCrmOpenMode>(L"CrmOpenMode", S::Integer, ssParams, IDC_CBCRMOPENMODE, C::ComboIndex)),
    Enforceable(Row<&M::FCallbackUrlTemplate>(L"CallbackUrlTemplate", S::Text, ssParams, 0, C::None)),
    Enforceable(Row<&M::FCallbackPrefix>(L"CallbackPrefix", S::Text, ssParams, 0, C::None)),
    // Quiet time: edited in the dialog "Тихие часы", which stores its own rows.
    Of(Q, Enforceable(Row<&M::FQuietHours>(L"QuietHours", S::Bool, kQuiet, 0, C::None))),
    Of(Q, Enforceable(Row<&M::FQuietHoursFrom>(L"QuietHoursFrom", S::Text, kQuiet, 0, C::None))),
    Of(Q, Enforceable(Row<&M::FQuietHoursTo>(L"QuietHoursTo", S::Text, kQuiet, 0, C::None))),
    Of(Q, Enforceable(Row<&M::FQuietWhenBusy>(L"QuietWhenBusy", S::Bool, kQuiet, 0, C::None))),
    // The organisation's directory: edited in its own dialog.
    Of(O, Enforceable(Row<&M::FLdapServers>(L"LdapServers", S::Text, ssParams, IDC_ORGDIR_SERVERS, C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapBase>(L"LdapBase", S::Text, ssParams, IDC_ORGDIR_BASE, C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapFilter>(L"LdapFilter", S::Text, ssParams, IDC_ORGDIR_FILTER, C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapPhoneAttributes>(L"LdapPhoneAttributes", S::Text, ssParams, IDC_ORGDIR_PHONES,
                                                    C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapNameAttribute>(L"LdapNameAttribute", S::Text, ssParams, IDC_ORGDIR_NAME,
                                                  C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapCommentAttributes>(L"LdapCommentAttributes", S::Text, ssParams,
                                                      IDC_ORGDIR_COMMENTS, C::TrimmedEdit))),
    Of(O, Enforceable(Row<&M::FLdapBindDN>(L"LdapBindDN", S::Text, ssParams, IDC_ORGDIR_BINDDN, C::TrimmedEdit))),
    // Shown unprotected and protected again for this user: the dialog's own.
    Of(O, Row<&M::FLdapPassword>(L"LdapPassword", S::ProtectedBlob, ssParams, IDC_ORGDIR_PASSWORD, C::Special)),
    Of(O, Enforceable(Row<&M::FLdapUseWindowsLogin>(L"LdapUseWindowsLogin", S::Bool, ssParams,
                                                    IDC_ORGDIR_WINDOWS_LOGIN, C::CheckBox))),
    Of(O, Enforceable(Row<&M::FLdapAllowPlainBind>(L"LdapAllowPlainBind", S::Bool, ssParams, 0, C::None))),
    // A period in a range, shown as the sync uses it: the dialog's own.
    Of(O, Enforceable(Row<&M::FLdapSyncMinutes>(L"LdapSyncMinutes", S::Integer, ssParams, IDC_ORGDIR_MINUTES,
                                                C::Special))),
    // The subscriber directory in the organisation's SQL server: edited in its own dialog.
    Of(D, Enforceable(Row<&M::FSqlConnection>(L"SqlConnection", S::Text, ssParams, IDC_SQLDIR_CONNECTION,
                                              C::TrimmedEdit))),
    // Shown unprotected and protected again for this user: the dialog's own.
    Of(D, Row<&M::FSqlPassword>(L"SqlPassword", S::ProtectedBlob, ssParams, IDC_SQLDIR_PASSWORD, C::Special)),
    Of(D, Enforceable(Row<&M::FSqlTable>(L"SqlTable", S::Text, ssParams, IDC_SQLDIR_TABLE, C::TrimmedEdit))),
    // A period in a range, shown as the sync uses it: the dialog's own.
    Of(D, Enforceable(Row<&M::FSqlSyncSeconds>(L"SqlSyncSeconds", S::Integer, ssParams, IDC_SQLDIR_SECONDS,
                                               C::Special))),
    // The CRM name lookup: edited in its own dialog, which stores its own rows.
    Of(L, Enforceable(Row<&M::LookupUrlTemplate>(CrmNamesKeys::UrlTemplate, S::Text, kLookup, IDC_LOOKUP_URL,
                                                 C::TrimmedEdit))),
    Of(L, Enforceable(Row<&M::LookupNamePath>(CrmNamesKeys::NamePath, S::Text, kLookup, IDC_LOOKUP_NAMEPATH,
                                              C::TrimmedEdit))),
    Of(L, Enforceable(Row<&M::LookupCommentPath>(CrmNamesKeys::CommentPath, S::Text, kLookup,
                                                 IDC_LOOKUP_COMMENTPATH, C::TrimmedEdit))),
    // A time-out in a range: the dialog's own.
    Of(L, Enforceable(Row<&M::LookupTimeoutMs>(CrmNamesKeys::TimeoutMs, S::Integer, kLookup, IDC_LOOKUP_TIMEOUT,
                                               C::Special))),
    Of(L, Row<&M::LookupHeader>(CrmNamesKeys::ProtectedHeader, S::ProtectedText, kLookup, IDC_LOOKUP_HEADER,
                                C::TrimmedEdit)),
    // Mirrors the autostart value, which SaveParams writes after the file.
    Enforceable(Row<&M::FAutoRun>(L"(autorun)", S::None, ssNone, IDC_CBAUTORUN, C::CheckBox), L"AutoRun"),
};

}  // namespace

std::span<const TSettingRow> SettingsTable() { return kRows; }

const TSettingRow* FindSettingRow(const std::wstring& key) {
    for (const auto& row : kRows)
        if (key == row.Key) return &row;
    return nullptr;
}

const TSettingRow* FindSettingRowByPolicy(const std::wstring& valueName) {
    for (const auto& row : kRows)
        if (row.PolicyValue && valueName == row.PolicyValue) return &row;
    return nullptr;
}

const TSettingRow* FindSettingRowByControl(int controlId, TSettingsPart part) {
    if (controlId == 0) return nullptr;
    for (const auto& row : kRows)
        if (row.ControlId == controlId && row.Part == part) return &row;
    return nullptr;
}
