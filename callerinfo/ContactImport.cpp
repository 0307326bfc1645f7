#include "ContactImport.h"

#include "KordavinUtils.h"
#include "TableStore.h"
#include "TextCompare.h"
#include "TextConvert.h"
#include "TextTrim.h"

#include <windows.h>

#include <algorithm>
#include <array>

namespace {

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        if ((c & 0xE0) == 0xC0) extra = 1, min = 0x80;
        else if ((c & 0xF0) == 0xE0) extra = 2, min = 0x800;
        else if ((c & 0xF8) == 0xF0) extra = 3, min = 0x10000;
        else return false;
        unsigned code = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            if (i + static_cast<size_t>(k) >= n) return false;
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && LowerCaseText(text.substr(0, prefix.size())) == LowerCaseText(prefix);
}

bool IsLineBreak(wchar_t c) { return c == L'\r' || c == L'\n'; }

// Characters people put into written numbers only for readability.
bool IsNumberDecoration(wchar_t c) {
    return c == L' ' || c == L'\t' || c == 0x00A0 || c == 0x202F || c == L'(' || c == L')' || c == L'-' ||
           c == L'.' || (c >= 0x2010 && c <= 0x2015);
}

bool LooksLikePhone(std::wstring_view field) {
    int digits = 0;
    for (size_t i = 0; i < field.size(); ++i) {
        const wchar_t c = field[i];
        if (c >= L'0' && c <= L'9') ++digits;
        else if (!(IsNumberDecoration(c) || (c == L'+' && digits == 0))) return false;
    }
    return digits >= 3;
}

std::vector<std::wstring> SplitLiteral(std::wstring_view line, wchar_t separator) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t at = line.find(separator, start);
        fields.push_back(TrimControlChars(line.substr(start, at == std::wstring_view::npos ? at : at - start)));
        if (at == std::wstring_view::npos) return fields;
        start = at + 1;
    }
}

// Steps past one line break (CR LF, CR or LF) at `i`, if there is one.
size_t SkipLineBreak(std::wstring_view text, size_t i) {
    if (i < text.size() && text[i] == L'\r') return i + 1 < text.size() && text[i + 1] == L'\n' ? i + 2 : i + 1;
    if (i < text.size() && text[i] == L'\n') return i + 1;
    return i;
}

std::wstring Field(const CsvRecord& record, int column) {
    return column >= 0 && static_cast<size_t>(column) < record.fields.size() ? record.fields[static_cast<size_t>(column)]
                                                                              : std::wstring();
}

enum class Role { None, Number, Name, Comment };

Role HeaderRole(const std::wstring& field) {
    const std::wstring name = LowerCaseText(field);
    auto has = [&](std::initializer_list<const wchar_t*> words) {
        return std::any_of(words.begin(), words.end(), [&](const wchar_t* w) { return name.find(w) != std::wstring::npos; });
    };
    if (has({L"тел", L"номер", L"phone", L"tel", L"mobile", L"моб", L"number"})) return Role::Number;
    if (has({L"коммент", L"примеч", L"comment", L"note", L"описан"})) return Role::Comment;
    if (has({L"имя", L"фио", L"name", L"абонент", L"контакт", L"назв", L"организац"})) return Role::Name;
    return Role::None;
}

}  // namespace

DecodedText DecodeImportText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return {Utf8ToWide(bytes.substr(3)), TextEncoding::Utf8Bom};
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        std::copy_n(bytes.data() + 2, text.size() * 2, reinterpret_cast<char*>(text.data()));
        return {std::move(text), TextEncoding::Utf16Le};
    }
    if (bytes.find('\0') != std::string_view::npos)
        throw ContactImportError(L"Файл не является текстом: в нём есть двоичные данные.");
    if (IsValidUtf8(bytes)) return {Utf8ToWide(bytes), TextEncoding::Utf8};
    return {CodePageToWide(1251, bytes), TextEncoding::Windows1251};
}

std::vector<CsvRecord> ParseCsv(std::wstring_view text, wchar_t separator) {
    std::vector<CsvRecord> records;
    const size_t n = text.size();
    size_t i = 0;
    int line = 1;
    std::wstring field;
    size_t unclosedFrom = std::wstring_view::npos;
    while (i < n) {
        const size_t recordStart = i;
        CsvRecord record;
        record.line = line;
        bool broken = false;
        for (;;) {
            field.clear();
            if (i < n && text[i] == L'"') {
                size_t j = i + 1;
                int lines = line;
                bool closed = false;
                while (j < n) {
                    // Past the start of a scan that found no closing quote, and not
                    // inside a run of quotes, this scan would pair the same quotes
                    // and find none either; without this a file of many broken
                    // lines would be read to its end once per line.
                    if (j > unclosedFrom && text[j - 1] != L'"') break;
                    const wchar_t c = text[j];
                    if (c == L'"') {
                        if (j + 1 < n && text[j + 1] == L'"') {
                            field += L'"';
                            j += 2;
                            continue;
                        }
                        closed = true;
                        ++j;
                        break;
                    }
                    if (IsLineBreak(c)) {
                        const size_t next = SkipLineBreak(text, j);
                        field.append(text.substr(j, next - j));
                        j = next;
                        ++lines;
                        continue;
                    }
                    field += c;
                    ++j;
                }
                if (!closed) {
                    unclosedFrom = std::min(unclosedFrom, i + 1);
                    broken = true;
                    break;
                }
                // A field that ran over line ends only to close right before more
                // text is a stray quote that swallowed the lines after it.
                if (lines != line && j < n && text[j] != separator && !IsLineBreak(text[j])) {
                    broken = true;
                    break;
                }
                i = j;
                line = lines;
                // Text after the closing quote is kept as it stands.
                while (i < n && text[i] != separator && !IsLineBreak(text[i])) field += text[i++];
                record.fields.push_back(field);
            } else {
                const size_t start = i;
                while (i < n && text[i] != separator && !IsLineBreak(text[i])) ++i;
                record.fields.push_back(TrimControlChars(text.substr(start, i - start)));
            }
            if (i < n && text[i] == separator) {
                ++i;
                continue;
            }
            if (i < n) {
                i = SkipLineBreak(text, i);
                ++line;
            }
            break;
        }
        if (broken) {
            // Only the line where the open quote stands is lost, not the rest of the file.
            size_t end = recordStart;
            while (end < n && !IsLineBreak(text[end])) ++end;
            record.fields = SplitLiteral(text.substr(recordStart, end - recordStart), separator);
            record.brokenQuote = true;
            line = record.line + (end < n ? 1 : 0);
            i = SkipLineBreak(text, end);
        }
        const bool blank = record.fields.size() == 1 && record.fields[0].empty() && !record.brokenQuote;
        if (!blank) records.push_back(std::move(record));
    }
    return records;
}

wchar_t DetectCsvSeparator(std::wstring_view text) {
    constexpr size_t kSample = 64 * 1024;
    constexpr size_t kLines = 50;
    const std::wstring_view sample = text.substr(0, std::min(text.size(), kSample));
    wchar_t best = L';';
    size_t bestScore = 0;
    for (const wchar_t candidate : {L';', L'\t', L','}) {
        std::vector<CsvRecord> records = ParseCsv(sample, candidate);
        if (records.size() > kLines) records.resize(kLines);
        if (records.size() > 1 && sample.size() < text.size()) records.pop_back();  // may be cut short
        std::vector<size_t> counts;
        for (const CsvRecord& record : records) counts.push_back(record.fields.size());
        size_t score = 0;
        for (const size_t count : counts) {
            if (count < 2) continue;
            score = std::max<size_t>(score, static_cast<size_t>(std::count(counts.begin(), counts.end(), count)));
        }
        if (score > bestScore) {
            bestScore = score;
            best = candidate;
        }
    }
    return best;
}

bool LooksLikeHeader(const std::vector<CsvRecord>& records) {
    if (records.empty() || records[0].brokenQuote) return false;
    const CsvRecord& first = records[0];
    if (std::any_of(first.fields.begin(), first.fields.end(), [](const std::wstring& f) { return LooksLikePhone(f); }))
        return false;
    if (std::any_of(first.fields.begin(), first.fields.end(),
                    [](const std::wstring& f) { return HeaderRole(f) != Role::None; }))
        return true;
    return records.size() > 1 && std::any_of(records[1].fields.begin(), records[1].fields.end(),
                                              [](const std::wstring& f) { return LooksLikePhone(f); });
}

CsvColumns GuessCsvColumns(const std::vector<CsvRecord>& records, bool hasHeader) {
    CsvColumns columns;
    if (hasHeader && !records.empty()) {
        for (size_t c = 0; c < records[0].fields.size(); ++c) {
            const int column = static_cast<int>(c);
            switch (HeaderRole(records[0].fields[c])) {
            case Role::Number: if (columns.number < 0) columns.number = column; break;
            case Role::Name: if (columns.name < 0) columns.name = column; break;
            case Role::Comment: if (columns.comment < 0) columns.comment = column; break;
            case Role::None: break;
            }
        }
    }
    constexpr size_t kSampled = 200;
    size_t width = 0;
    std::vector<size_t> phones, texts;
    for (size_t r = hasHeader ? 1 : 0; r < records.size() && r < kSampled; ++r) {
        const CsvRecord& record = records[r];
        width = std::max(width, record.fields.size());
        phones.resize(width);
        texts.resize(width);
        for (size_t c = 0; c < record.fields.size(); ++c) {
            if (LooksLikePhone(record.fields[c])) ++phones[c];
            else if (!record.fields[c].empty()) ++texts[c];
        }
    }
    if (columns.number < 0) {
        size_t most = 0;
        for (size_t c = 0; c < width; ++c)
            if (phones[c] > most && static_cast<int>(c) != columns.name && static_cast<int>(c) != columns.comment) {
                most = phones[c];
                columns.number = static_cast<int>(c);
            }
        if (columns.number < 0 && width > 0 && columns.name != 0 && columns.comment != 0) columns.number = 0;
    }
    auto nextText = [&](int after) {
        for (size_t c = static_cast<size_t>(std::max(after + 1, 0)); c < width; ++c) {
            const int column = static_cast<int>(c);
            if (column != columns.number && column != columns.name && column != columns.comment && texts[c] > 0)
                return column;
        }
        return -1;
    };
    if (columns.name < 0) columns.name = nextText(-1);
    if (columns.comment < 0 && !hasHeader) columns.comment = nextText(columns.name);
    return columns;
}

bool StartsWithSpreadsheetTrigger(std::wstring_view text) {
    return !text.empty() && std::wstring_view(L"=+-@\t\r'").find(text.front()) != std::wstring_view::npos;
}

std::wstring WithoutSpreadsheetGuard(std::wstring text) {
    if (text.size() >= 2 && text.front() == L'\'' && StartsWithSpreadsheetTrigger(std::wstring_view(text).substr(1)))
        text.erase(0, 1);
    return text;
}

std::vector<ImportedContact> ContactsFromCsv(const std::vector<CsvRecord>& records, const CsvColumns& columns,
                                             bool hasHeader) {
    std::vector<ImportedContact> contacts;
    contacts.reserve(records.size());
    for (size_t r = hasHeader ? 1 : 0; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        ImportedContact& contact = contacts.emplace_back();
        contact.line = record.line;
        contact.number = WithoutSpreadsheetGuard(Field(record, columns.number));
        contact.name = WithoutSpreadsheetGuard(Field(record, columns.name));
        contact.comment = WithoutSpreadsheetGuard(Field(record, columns.comment));
        if (record.brokenQuote) contact.error = L"кавычка не закрыта";
    }
    return contacts;
}

bool LooksLikeVCard(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] <= L' ' || text[i] == 0xFEFF)) ++i;
    return StartsWithNoCase(text.substr(i), L"BEGIN:VCARD");
}

namespace {

struct VCardLine {
    int line = 0;
    std::wstring name;  // upper case, without a group
    std::vector<std::wstring> params;  // upper case
    std::wstring value;
};

std::wstring UnescapeVCard(std::wstring_view value) {
    std::wstring text;
    text.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'\\' && i + 1 < value.size()) {
            const wchar_t next = value[++i];
            if (next == L'n' || next == L'N') text += L"\r\n";
            else text += next;
        } else {
            text += value[i];
        }
    }
    return text;
}

// Splits on `separator` that is not escaped with a backslash.
std::vector<std::wstring> SplitEscaped(std::wstring_view value, wchar_t separator) {
    std::vector<std::wstring> parts{L""};
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == L'\\' && i + 1 < value.size()) {
            parts.back() += value.substr(i, 2);
            ++i;
        } else if (value[i] == separator) {
            parts.emplace_back();
        } else {
            parts.back() += value[i];
        }
    }
    return parts;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

std::wstring DecodeQuotedPrintable(std::wstring_view value, const std::vector<std::wstring>& params) {
    std::string bytes;
    for (size_t i = 0; i < value.size(); ++i) {
        const int high = value[i] == L'=' && i + 2 < value.size() ? HexValue(value[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
        if (low >= 0) {
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (value[i] < 0x80) {
            bytes += static_cast<char>(value[i]);
        } else {
            bytes += WideToUtf8(value.substr(i, 1));
        }
    }
    const bool cp1251 = std::any_of(params.begin(), params.end(), [](const std::wstring& p) {
        return p == L"CHARSET=WINDOWS-1251" || p == L"CHARSET=CP1251";
    });
    if (!cp1251 && IsValidUtf8(bytes)) return Utf8ToWide(bytes);
    return CodePageToWide(1251, bytes);
}

bool IsQuotedPrintable(const std::vector<std::wstring>& params) {
    return std::any_of(params.begin(), params.end(),
                       [](const std::wstring& p) { return p == L"ENCODING=QUOTED-PRINTABLE" || p == L"QUOTED-PRINTABLE"; });
}

std::vector<VCardLine> VCardLines(std::wstring_view text) {
    std::vector<VCardLine> lines;
    std::wstring logical;
    int logicalLine = 0;
    auto flush = [&] {
        if (logical.empty()) return;
        // The name and parameters end at the first colon outside a quoted parameter value.
        size_t colon = std::wstring::npos;
        bool quoted = false;
        for (size_t k = 0; k < logical.size(); ++k) {
            if (logical[k] == L'"') quoted = !quoted;
            else if (logical[k] == L':' && !quoted) {
                colon = k;
                break;
            }
        }
        if (colon != std::wstring::npos) {
            VCardLine entry;
            entry.line = logicalLine;
            std::vector<std::wstring> head = SplitEscaped(std::wstring_view(logical).substr(0, colon), L';');
            std::wstring name = UpperCaseText(head[0]);
            if (const size_t dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(0, dot + 1);
            entry.name = TrimControlChars(name);
            for (size_t k = 1; k < head.size(); ++k) {
                entry.params.push_back(TrimControlChars(UpperCaseText(head[k])));
            }
            entry.value = logical.substr(colon + 1);
            lines.push_back(std::move(entry));
        }
        logical.clear();
    };
    size_t i = 0;
    int line = 1;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && !IsLineBreak(text[end])) ++end;
        const std::wstring_view physical = text.substr(i, end - i);
        const bool softBreak = !logical.empty() && logical.back() == L'=' &&
                               logical.find(L"QUOTED-PRINTABLE") != std::wstring::npos &&
                               logical.find(L"QUOTED-PRINTABLE") < logical.find(L':');
        if (!physical.empty() && (physical[0] == L' ' || physical[0] == L'\t') && !logical.empty()) {
            logical.append(physical.substr(1));
        } else if (softBreak) {
            logical.pop_back();
            logical.append(physical);
        } else {
            flush();
            logical.assign(physical);
            logicalLine = line;
        }
        i = SkipLineBreak(text, end);
        ++line;
    }
    flush();
    return lines;
}

}  // namespace

std::vector<ImportedContact> ParseVCards(std::wstring_view text) {
    std::vector<ImportedContact> contacts;
    bool inCard = false;
    int cardLine = 0;
    std::wstring formatted, structured, note;
    std::vector<std::pair<int, std::wstring>> phones;
    for (const VCardLine& entry : VCardLines(text)) {
        std::wstring value =
            IsQuotedPrintable(entry.params) ? DecodeQuotedPrintable(entry.value, entry.params) : entry.value;
        if (entry.name == L"BEGIN" && StartsWithNoCase(value, L"VCARD")) {
            inCard = true;
            cardLine = entry.line;
            formatted.clear();
            structured.clear();
            note.clear();
            phones.clear();
        } else if (!inCard) {
            continue;
        } else if (entry.name == L"END") {
            inCard = false;
            const std::wstring name = TrimControlChars(formatted.empty() ? structured : formatted);
            if (phones.empty()) {
                contacts.push_back({cardLine, L"", name, note, L"в карточке нет номера телефона"});
                continue;
            }
            for (const auto& [line, number] : phones) contacts.push_back({line, number, name, note, L""});
        } else if (entry.name == L"FN") {
            formatted = UnescapeVCard(value);
        } else if (entry.name == L"N") {
            // Family; Given; Additional: written family name first, as is usual here.
            std::vector<std::wstring> parts = SplitEscaped(value, L';');
            parts.resize(3);
            structured.clear();
            for (const size_t k : {0u, 1u, 2u}) {
                const std::wstring part = TrimControlChars(UnescapeVCard(parts[k]));
                if (!part.empty()) structured += (structured.empty() ? L"" : L" ") + part;
            }
        } else if (entry.name == L"NOTE") {
            note = UnescapeVCard(value);
        } else if (entry.name == L"TEL") {
            std::wstring number = UnescapeVCard(value);
            if (StartsWithNoCase(number, L"tel:")) {
                number.erase(0, 4);
                if (const size_t semicolon = number.find(L';'); semicolon != std::wstring::npos) number.erase(semicolon);
            }
            phones.emplace_back(entry.line, TrimControlChars(number));
        }
    }
    if (inCard) contacts.push_back({cardLine, L"", L"", L"", L"карточка не закончена (нет END:VCARD)"});
    return contacts;
}

bool NormalizeImportedNumber(std::wstring_view written, const TDiallingSettings& settings, std::wstring& number,
                             std::wstring& reason) {
    std::wstring cleaned;
    cleaned.reserve(written.size());
    bool plus = false;
    for (const wchar_t c : written) {
        if (c >= L'0' && c <= L'9') {
            cleaned += c;
        } else if (c == L'+') {
            if (plus || !cleaned.empty()) {
                reason = L"знак «+» не в начале номера";
                return false;
            }
            plus = true;
        } else if (!IsNumberDecoration(c)) {
            reason = L"в номере есть буквы или недопустимые знаки: «" + std::wstring(written) + L"»";
            return false;
        }
    }
    if (cleaned.empty()) {
        reason = L"нет номера";
        return false;
    }
    number = NormalizePhoneNumber(plus ? L"+" + cleaned : cleaned, kIncomingCallKind, settings);
    if (number.empty()) {
        reason = L"нет номера";
        return false;
    }
    // A longer number would be stored under its first 16 digits, which is another number.
    if (number.size() > static_cast<size_t>(kImportPhoneWidth)) {
        reason = L"номер длиннее " + std::to_wstring(kImportPhoneWidth) + L" цифр";
        return false;
    }
    return true;
}

ImportPreview BuildImportPreview(const std::vector<ImportedContact>& contacts, const DirectorySnapshot& directory,
                                 const ImportOptions& options) {
    ImportPreview preview;
    std::vector<RejectedLine> rejected;
    auto reject = [&](int line, std::wstring reason) {
        ++preview.rejectedCount;
        if (rejected.size() < ImportPreview::kMaxDetails) rejected.push_back({line, std::move(reason)});
    };
    std::unordered_map<std::wstring, size_t> byPhone;
    byPhone.reserve(contacts.size());
    std::vector<ImportRow> rows;
    rows.reserve(contacts.size());
    std::vector<DuplicateLine> duplicates;
    std::wstring number, reason;
    for (const ImportedContact& contact : contacts) {
        if (!contact.error.empty()) {
            reject(contact.line, contact.error);
            continue;
        }
        if (!NormalizeImportedNumber(contact.number, options.dialling, number, reason)) {
            reject(contact.line, reason);
            continue;
        }
        ImportRow row{contact.line, number, CutToWidth(contact.name, kImportNameWidth), contact.comment,
                      ImportStatus::New, contact.name.size() > static_cast<size_t>(kImportNameWidth)};
        const auto [at, added] = byPhone.try_emplace(number, rows.size());
        if (added) {
            rows.push_back(std::move(row));
        } else {
            ++preview.duplicateCount;
            if (duplicates.size() < ImportPreview::kMaxDetails) duplicates.push_back({rows[at->second].line, 0, number});
            rows[at->second] = std::move(row);
        }
    }
    for (DuplicateLine& duplicate : duplicates) duplicate.keptLine = rows[byPhone[duplicate.phone]].line;

    preview.rows.reserve(rows.size());
    for (ImportRow& row : rows) {
        const auto stored = directory.find(row.phone);
        if (stored == directory.end()) {
            if (row.name.empty()) {
                reject(row.line, L"нет имени абонента");
                continue;
            }
            row.status = ImportStatus::New;
            ++preview.newCount;
        } else {
            const auto& [storedName, storedComment] = stored->second;
            if (!options.replaceNames || row.name.empty()) {
                row.name = storedName;
                row.nameCut = false;
            }
            if (row.comment.empty()) row.comment = storedComment;
            const bool same = row.name == storedName && row.comment == storedComment;
            row.status = same ? ImportStatus::Unchanged : ImportStatus::Changed;
            ++(same ? preview.unchangedCount : preview.changedCount);
        }
        if (row.nameCut) ++preview.namesCut;
        preview.rows.push_back(std::move(row));
    }
    std::stable_sort(rejected.begin(), rejected.end(), [](const RejectedLine& a, const RejectedLine& b) { return a.line < b.line; });
    preview.rejected = std::move(rejected);
    preview.duplicates = std::move(duplicates);
    return preview;
}

ImportSource ReadImportFile(std::string_view bytes, const CsvColumns* columns) {
    ImportSource source;
    DecodedText decoded = DecodeImportText(bytes);
    source.encoding = decoded.encoding;
    if (LooksLikeVCard(decoded.text)) {
        source.vcard = true;
        source.contacts = ParseVCards(decoded.text);
        return source;
    }
    source.separator = DetectCsvSeparator(decoded.text);
    const std::vector<CsvRecord> records = ParseCsv(decoded.text, source.separator);
    source.hasHeader = LooksLikeHeader(records);
    source.columns = columns ? *columns : GuessCsvColumns(records, source.hasHeader);
    source.contacts = ContactsFromCsv(records, source.columns, source.hasHeader);
    return source;
}
