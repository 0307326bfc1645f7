#include "SettingControls.h"

#include "AllowListText.h"
#include "AllowedClients.h"
#include "AppError.h"
#include "CrmLink.h"
#include "IniValues.h"
#include "ListText.h"
#include "MainFormRes.h"
#include "ResourceText.h"
#include "TextTrim.h"
#include "WindowText.h"

#include <utility>
#include <vector>

namespace {

std::wstring ComboText(HWND combo, int index) {
    const auto length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

bool ShowSettingControl(HWND dialog, const TSettingRow& row, const TSettingValue& value) {
    const HWND control = ::GetDlgItem(dialog, row.ControlId);
    switch (row.Control) {
    case TSettingControl::CheckBox:
        ::CheckDlgButton(dialog, row.ControlId, std::get<bool>(value) ? BST_CHECKED : BST_UNCHECKED);
        break;
    case TSettingControl::Edit:
    case TSettingControl::TrimmedEdit:
    case TSettingControl::UrlTemplateEdit:
    case TSettingControl::AllowListEdit:
        ::SetDlgItemTextW(dialog, row.ControlId, std::get<std::wstring>(value).c_str());
        break;
    case TSettingControl::IntegerEdit:
    case TSettingControl::LenientIntEdit:
        ::SetDlgItemTextW(dialog, row.ControlId, std::to_wstring(std::get<int>(value)).c_str());
        break;
    case TSettingControl::ListEdit:
        ::SetDlgItemTextW(dialog, row.ControlId, WriteListText(std::get<TSettingList>(value)).c_str());
        break;
    case TSettingControl::ComboIndex:
        // An index outside the list leaves it without a selection.
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(std::get<int>(value)), 0);
        break;
    case TSettingControl::ComboText:
    case TSettingControl::ComboInteger: {
        const std::wstring text = row.Control == TSettingControl::ComboText ? std::get<std::wstring>(value)
                                                                            : std::to_wstring(std::get<int>(value));
        auto found = ::SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(text.c_str()));
        // CB_FINDSTRINGEXACT ignores case; the setting's text must match exactly.
        if (found != CB_ERR && ComboText(control, static_cast<int>(found)) != text) found = CB_ERR;
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
        break;
    }
    case TSettingControl::None:
        break;
    case TSettingControl::BoldButton:
    case TSettingControl::Special:
        return false;
    }
    return true;
}

std::optional<TSettingValue> ReadSettingControl(HWND dialog, const TSettingRow& row, TSettingValue value) {
    const HWND control = ::GetDlgItem(dialog, row.ControlId);
    switch (row.Control) {
    case TSettingControl::CheckBox:
        value = ::IsDlgButtonChecked(dialog, row.ControlId) == BST_CHECKED;
        break;
    case TSettingControl::Edit:
        value = WindowText(control);
        break;
    case TSettingControl::TrimmedEdit:
        value = TrimControlChars(WindowText(control));
        break;
    case TSettingControl::IntegerEdit: {
        const std::wstring text = WindowText(control);
        const auto number = ParseIniInteger(text);
        if (!number) {
            ::SetFocus(control);
            ::SendMessageW(control, EM_SETSEL, 0, -1);
            throw AppError(FormatResourceString(IDS_NOT_AN_INTEGER, text));
        }
        value = *number;
        break;
    }
    case TSettingControl::LenientIntEdit:
        value = ParseIniInteger(WindowText(control)).value_or(0);
        break;
    case TSettingControl::UrlTemplateEdit: {
        const std::wstring text = WindowText(control);
        const TCrmTemplateVerdict verdict = CheckCrmTemplate(text);
        if (verdict.Check == TCrmTemplateCheck::SchemeRefused ||
            verdict.Check == TCrmTemplateCheck::UnknownPlaceholder) {
            ::SetFocus(control);
            ::SendMessageW(control, EM_SETSEL, 0, -1);
            throw AppError(verdict.Check == TCrmTemplateCheck::SchemeRefused
                               ? LoadResourceString(IDS_CRM_SCHEME_REFUSED)
                               : FormatResourceString(IDS_CRM_UNKNOWN_PLACEHOLDER, verdict.Detail));
        }
        value = TrimControlChars(text);
        break;
    }
    case TSettingControl::AllowListEdit: {
        const std::wstring text = WindowText(control);
        if (const auto unreadable = TAllowedClients::Parse(text).FirstUnreadable()) {
            ::SetFocus(control);
            ::SendMessageW(control, EM_SETSEL, 0, -1);
            throw AppError(UnreadableAllowListText(*unreadable, TAllowListContext::Apply));
        }
        value = text;
        break;
    }
    case TSettingControl::ListEdit: {
        TSettingList list = ReadListText(WindowText(control));
        if (row.Store == TSettingStore::PrefixList) TrimListEntries(list);
        value = std::move(list);
        break;
    }
    case TSettingControl::ComboIndex: {
        // No selection keeps the stored value.
        const auto index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (index != CB_ERR) value = static_cast<int>(index);
        break;
    }
    case TSettingControl::ComboText:
    case TSettingControl::ComboInteger: {
        const auto index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) break;
        const std::wstring text = ComboText(control, static_cast<int>(index));
        if (row.Control == TSettingControl::ComboText) value = text;
        else if (auto number = ParseIniInteger(text)) value = *number;
        break;
    }
    case TSettingControl::None:
        break;
    case TSettingControl::BoldButton:
    case TSettingControl::Special:
        return std::nullopt;
    }
    return value;
}

void ShowPartControls(HWND dialog, TSettingsPart part, const TSettingsRef& settings, const TShowOwnRow& showOwn) {
    for (const auto& row : SettingsTable()) {
        if (row.Part != part || row.ControlId == 0) continue;
        const TSettingValue value = row.Get(settings);
        if (!ShowSettingControl(dialog, row, value) && showOwn) showOwn(row, value);
    }
}

void ReadPartControls(HWND dialog, TSettingsPart part, const TSettingsRef& settings, const TReadOwnRow& readOwn) {
    std::vector<std::pair<const TSettingRow*, TSettingValue>> values;
    for (const auto& row : SettingsTable()) {
        if (row.Part != part || row.ControlId == 0) continue;
        std::optional<TSettingValue> read = ReadSettingControl(dialog, row, row.Get(settings));
        if (!read && readOwn) read = readOwn(row);
        if (read) values.emplace_back(&row, std::move(*read));
    }
    for (const auto& [row, value] : values) row->Set(settings, value);
}
