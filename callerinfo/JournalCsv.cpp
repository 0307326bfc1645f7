#include "JournalCsv.h"

#include "TextConvert.h"

#include <string_view>

std::wstring CsvField(const std::wstring& value) {
    std::wstring field = value;
    if (!field.empty() && std::wstring_view(L"=+-@\t\r").find(field.front()) != std::wstring_view::npos)
        field.insert(field.begin(), L'\'');
    const bool quoted = field.find_first_of(L";\"\r\n") != std::wstring::npos ||
                        (!field.empty() && (field.front() == L' ' || field.back() == L' '));
    if (!quoted) return field;
    std::wstring out = L"\"";
    for (wchar_t c : field) {
        if (c == L'"') out += L'"';
        out += c;
    }
    out += L'"';
    return out;
}

std::string JournalCsv(const std::vector<const TCallRecord*>& records, const TJournalCsvTexts& texts,
                       const TJournalTimeText& timeText) {
    std::wstring text;
    const auto row = [&text](std::initializer_list<std::wstring> fields) {
        bool first = true;
        for (const std::wstring& field : fields) {
            if (!first) text += L';';
            text += CsvField(field);
            first = false;
        }
        text += L"\r\n";
    };
    const auto header = [&texts](size_t i) { return i < texts.Headers.size() ? texts.Headers[i] : std::wstring(); };
    row({header(0), header(1), header(2), header(3), header(4), header(5), header(6), header(7)});
    for (const TCallRecord* record : records) {
        const auto outcome = static_cast<size_t>(record->Outcome);
        const bool talked = record->Outcome == TCallOutcome::Answered || record->DurationSeconds > 0;
        row({timeText(record->StartTime), record->Channel, record->Caller.Number, record->Caller.Name,
             record->Caller.Region, outcome < texts.Outcomes.size() ? texts.Outcomes[outcome] : std::wstring(),
             talked ? JournalDurationText(record->DurationSeconds) : std::wstring(), record->Note});
    }
    return "\xEF\xBB\xBF" + WideToUtf8(text);
}
