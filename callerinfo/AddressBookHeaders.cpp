#include "AddressBookHeaders.h"

#include "TextCompare.h"
#include "TextTrim.h"

#include <algorithm>
#include <initializer_list>
#include <string>

namespace {

struct KnownHeader {
    const wchar_t* header;  // lower case; '#' stands for a number
    ColumnRole role;
    int order;
    bool namePart;
};

// The columns of the common exports. A name is written "Фамилия Имя Отчество"
// in Russian exports and "Given Middle Family" in English ones, as each writes it.
constexpr KnownHeader kKnownHeaders[] = {
    {L"фамилия", ColumnRole::Name, 0, true},
    {L"имя", ColumnRole::Name, 1, true},
    {L"отчество", ColumnRole::Name, 2, true},
    {L"first name", ColumnRole::Name, 0, true},
    {L"given name", ColumnRole::Name, 0, true},
    {L"middle name", ColumnRole::Name, 1, true},
    {L"additional name", ColumnRole::Name, 1, true},
    {L"last name", ColumnRole::Name, 2, true},
    {L"family name", ColumnRole::Name, 2, true},

    {L"организация", ColumnRole::Organization, 0, false},
    {L"компания", ColumnRole::Organization, 0, false},
    {L"company", ColumnRole::Organization, 0, false},
    {L"organization # - name", ColumnRole::Organization, 0, false},
    {L"organization name", ColumnRole::Organization, 0, false},

    {L"должность", ColumnRole::Comment, 1, false},
    {L"job title", ColumnRole::Comment, 1, false},
    {L"organization # - title", ColumnRole::Comment, 1, false},
    {L"organization title", ColumnRole::Comment, 1, false},
    {L"заметки", ColumnRole::Comment, 2, false},
    {L"notes", ColumnRole::Comment, 2, false},
    {L"комментарий", ColumnRole::Comment, 2, false},
    {L"примечание", ColumnRole::Comment, 2, false},

    {L"рабочий телефон", ColumnRole::Number, 0, false},
    {L"телефон # (раб.)", ColumnRole::Number, 0, false},
    {L"мобильный телефон", ColumnRole::Number, 0, false},
    {L"домашний телефон", ColumnRole::Number, 0, false},
    {L"телефон # (дом.)", ColumnRole::Number, 0, false},
    {L"другой телефон", ColumnRole::Number, 0, false},
    {L"основной телефон", ColumnRole::Number, 0, false},
    {L"телефон организации", ColumnRole::Number, 0, false},
    {L"телефон в машине", ColumnRole::Number, 0, false},
    {L"business phone", ColumnRole::Number, 0, false},
    {L"business phone #", ColumnRole::Number, 0, false},
    {L"mobile phone", ColumnRole::Number, 0, false},
    {L"home phone", ColumnRole::Number, 0, false},
    {L"home phone #", ColumnRole::Number, 0, false},
    {L"other phone", ColumnRole::Number, 0, false},
    {L"primary phone", ColumnRole::Number, 0, false},
    {L"company main phone", ColumnRole::Number, 0, false},
    {L"car phone", ColumnRole::Number, 0, false},
    {L"phone # - value", ColumnRole::Number, 0, false},
    {L"phone # - type", ColumnRole::None, 0, false},
    {L"phone # - label", ColumnRole::None, 0, false},
};

// The header against a pattern of the table: '#' matches one or more digits.
bool Matches(std::wstring_view header, std::wstring_view pattern) {
    size_t h = 0;
    for (size_t p = 0; p < pattern.size(); ++p) {
        if (pattern[p] == L'#') {
            const size_t start = h;
            while (h < header.size() && header[h] >= L'0' && header[h] <= L'9') ++h;
            if (h == start) return false;
        } else if (h >= header.size() || header[h++] != pattern[p]) {
            return false;
        }
    }
    return h == header.size();
}

bool HasAny(const std::wstring& text, std::initializer_list<const wchar_t*> words) {
    return std::any_of(words.begin(), words.end(), [&](const wchar_t* w) { return text.find(w) != std::wstring::npos; });
}

}  // namespace

HeaderMeaning MeaningOfHeader(std::wstring_view header) {
    const std::wstring name = LowerCaseText(TrimControlChars(header));
    for (const KnownHeader& known : kKnownHeaders)
        if (Matches(name, known.header)) return {known.role, known.order, known.namePart};
    if (HasAny(name, {L"факс", L"fax", L"пейджер", L"pager", L"тип", L"type", L"label", L"вид"})) return {};
    if (HasAny(name, {L"тел", L"номер", L"phone", L"tel", L"mobile", L"моб", L"number"})) return {ColumnRole::Number};
    if (HasAny(name, {L"коммент", L"примеч", L"comment", L"note", L"описан"})) return {ColumnRole::Comment, 2};
    if (HasAny(name, {L"организац", L"компани", L"company", L"organization"})) return {ColumnRole::Organization};
    if (HasAny(name, {L"имя", L"фио", L"name", L"абонент", L"контакт", L"назв"})) return {ColumnRole::Name};
    return {};
}
