#pragma once
#include "MainFormSettings.h"
#include "TrayMsgWinsSettings.h"

#include <span>
#include <string>
#include <variant>
#include <vector>

// Every setting declared once: its INI key, how it is stored, which save writes
// it, the field it lives in and the control of the settings window that edits
// it. Reading the INI file, both saves and the window's copying between fields
// and controls all walk this table. The built-in default of a row is the value
// its field has in a default-constructed settings object (plus the run-time
// defaults that start-up puts there before loading).

// The parts of the settings that are edited and applied on their own: the
// settings window's (the popups' layout included), each name source's own
// dialog's, the SQL directory's and the quiet hours'. Every row belongs to one.
enum class TSettingsPart { Main, CrmNames, OrgDirectory, QuietHours, SqlDirectory };

// The two objects the settings live in.
struct TSettingsRef {
    TMainFormSettings& Main;
    TTrayMsgWinsSettings& Popups;
};

using TSettingList = std::vector<std::wstring>;
using TSettingValue = std::variant<bool, int, std::wstring, TSettingList>;

// How a value is stored in the INI file.
enum class TSettingStore {
    None,        // not in the INI file (the autostart mirror)
    Bool,        // "1" or "0"; read as an integer, nonzero is true
    Integer,     // decimal; read also as hexadecimal
    Text,        // unchanged
    QuotedText,  // between double quotes, so that blanks at its ends survive
    QuotedList,  // list text between double quotes
    PrefixList,  // as QuotedList, every entry trimmed after reading
    ProtectedBlob, // a secret as ProtectForUser made it, unchanged; never the secret itself
    // A secret protected for the Windows user (DpapiText.h); one that cannot be
    // unprotected (another user, another machine, altered) reads as empty.
    ProtectedText,
};

// Which save writes a row; both, for the four connection keys.
enum TSettingSave : unsigned {
    ssNone = 0,
    ssDBParams = 1,  // SaveDBParams, from the fields
    ssParams = 2,    // SaveParams; the connection rows from what the window shows
    ssCrmNames = 4, // SaveCrmNames: the CRM name lookup's dialog stores its own rows
    ssQuietHours = 8, // SaveQuietHours: the dialog "Тихие часы" stores its own rows
};

// How the settings window shows a row.
enum class TSettingControl {
    None,
    CheckBox,
    Edit,           // text as it stands
    TrimmedEdit,    // text without the control characters and blanks at its ends
    IntegerEdit,    // strict: a text that is not an integer stops the apply
    LenientIntEdit, // a text that is not an integer applies as 0
    ListEdit,       // list text
    UrlTemplateEdit, // text as it stands; a CRM template that is not accepted stops the apply
    AllowListEdit,  // text as it stands; an entry that is not an address or a range stops the apply
    ComboIndex,     // drop-down list; the value is the item index
    ComboText,      // drop-down list; no item of that text leaves the field as it was
    ComboInteger,   // as ComboText, the item's text read as an integer
    BoldButton,     // a button whose caption is bold exactly when the value is true
    Special,        // copied by the dialog's own code (connect box, channel list, radio group, password, ranges)
};

struct TSettingRow {
    const wchar_t* Key;  // INI key; for ssNone rows a name for messages only
    TSettingStore Store;
    unsigned Save;       // TSettingSave flags
    int ControlId;       // 0: no control; else a control of the part's dialog
    TSettingControl Control;
    TSettingValue (*Get)(const TSettingsRef& settings);
    void (*Set)(const TSettingsRef& settings, const TSettingValue& value);
    // "Active" is read with the default false, not with the field's value.
    bool ReadDefaultsToFalse = false;
    // The registry value under the policy keys by which an administrator fixes
    // the setting (REG_DWORD for Bool and Integer rows and the autostart, REG_SZ
    // for Text rows); null: the user's own.
    const wchar_t* PolicyValue = nullptr;
    // Which dialog edits the row and which apply takes it.
    TSettingsPart Part = TSettingsPart::Main;
};

// In the order in which a file written from scratch holds the keys.
std::span<const TSettingRow> SettingsTable();
// The row of a key (compared exactly), or null.
const TSettingRow* FindSettingRow(const std::wstring& key);
// The row edited by a control of the part's dialog, or null.
const TSettingRow* FindSettingRowByControl(int controlId, TSettingsPart part = TSettingsPart::Main);
// The row an administrator fixes with this policy value (compared exactly), or null.
const TSettingRow* FindSettingRowByPolicy(const std::wstring& valueName);
