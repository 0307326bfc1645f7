#include "ContactImport.h"

#include "AddressBookHeaders.h"
#include "DirectoryTextLimit.h"
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

// A field of one number, or of several separated by ":::" as web mail writes them.
bool LooksLikePhones(std::wstring_view field) {
    for (size_t start = 0;;) {
        const size_t at = field.find(L":::", start);
        if (!LooksLikePhone(field.substr(start, at == std::wstring_view::npos ? at : at - start))) return false;
        if (at == std::wstring_view::npos) return true;
        start = at + 3;
    }
}

void SplitLiteral(std::wstring_view line, wchar_t separator, size_t maxFields, CsvRecord& record) {
    size_t start = 0;
    record.Clear();
    record.fieldCount = 0;
    for (;;) {
        const size_t at = line.find(separator, start);
        ++record.fieldCount;
        if (record.size() < maxFields)
            record.Add(TrimControlChars(line.substr(start, at == std::wstring_view::npos ? at : at - start)));
        if (at == std::wstring_view::npos) return;
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
    return column >= 0 ? std::wstring(record[static_cast<size_t>(column)]) : std::wstring();
}

// A name or comment that another workstation's lookup would refuse to read.
std::wstring TooLongReason(const wchar_t* what) {
    return std::wstring(what) + L" длиннее " +
           std::to_wstring(static_cast<size_t>(kMaxDirectoryTextBytes) / 2) +
           L" знаков: другие рабочие места не смогли бы его прочитать";
}

}  // namespace

DecodedText DecodeImportText(std::string_view bytes) {
    DecodedText decoded;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") decoded = {Utf8ToWide(bytes.substr(3)), TextEncoding::Utf8Bom};
    else if (bytes.substr(0, 2) == "\xFF\xFE") decoded = {Utf16BytesToWide(bytes.substr(2), false), TextEncoding::Utf16Le};
    else if (bytes.substr(0, 2) == "\xFE\xFF") decoded = {Utf16BytesToWide(bytes.substr(2), true), TextEncoding::Utf16Be};
    else if (IsValidUtf8(bytes)) decoded = {Utf8ToWide(bytes), TextEncoding::Utf8};
    else decoded = {CodePageToWide(1251, bytes), TextEncoding::Windows1251};
    // Checked on the text, whatever the encoding: a NUL would reach the directory
    // and cut the text short wherever it is read as a C string.
    if (decoded.text.find(L'\0') != std::wstring::npos)
        throw ContactImportError(L"Файл не является текстом: в нём есть двоичные данные.");
    return decoded;
}

std::wstring_view CsvRecord::operator[](std::size_t column) const {
    const auto at = std::lower_bound(nonEmpty_.begin(), nonEmpty_.end(), column,
                                     [](const auto& field, std::size_t c) { return field.first < c; });
    if (at == nonEmpty_.end() || at->first != column) return {};
    const std::size_t start = at == nonEmpty_.begin() ? 0 : (at - 1)->second;
    return std::wstring_view(texts_).substr(start, at->second - start);
}

std::vector<std::wstring> CsvRecord::Fields() const {
    std::vector<std::wstring> fields;
    fields.reserve(kept_);
    for (std::size_t c = 0; c < kept_; ++c) fields.emplace_back((*this)[c]);
    return fields;
}

void CsvRecord::Add(std::wstring_view text) {
    if (!text.empty()) {
        texts_.append(text);
        nonEmpty_.emplace_back(static_cast<std::uint32_t>(kept_), static_cast<std::uint32_t>(texts_.size()));
    }
    ++kept_;
}

void CsvRecord::ShrinkToFit() {
    texts_.shrink_to_fit();
    nonEmpty_.shrink_to_fit();
}

void CsvRecord::Clear() {
    texts_.clear();
    nonEmpty_.clear();
    kept_ = 0;
}

std::vector<CsvRecord> ParseCsv(std::wstring_view text, wchar_t separator, std::size_t maxFields,
                                ImportProgress* progress) {
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
        // Every field counts towards the progress, so that one line of a
        // million fields can be stopped too.
        auto addField = [&](std::wstring_view value, bool trim) {
            if (++record.fieldCount % 4096 == 0 && progress) progress->Step(i, n);
            if (record.size() < maxFields) record.Add(trim ? std::wstring_view(TrimControlChars(value)) : value);
        };
        if (progress && records.size() % 1024 == 0) progress->Step(i, n);
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
                addField(field, false);
            } else {
                const size_t start = i;
                while (i < n && text[i] != separator && !IsLineBreak(text[i])) ++i;
                addField(text.substr(start, i - start), true);
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
            SplitLiteral(text.substr(recordStart, end - recordStart), separator, maxFields, record);
            record.brokenQuote = true;
            line = record.line + (end < n ? 1 : 0);
            i = SkipLineBreak(text, end);
        }
        const bool blank = record.size() == 1 && record[0].empty() && !record.brokenQuote;
        if (blank) continue;
        record.ShrinkToFit();
        records.push_back(std::move(record));
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
        for (const CsvRecord& record : records) counts.push_back(record.size());
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
    const std::vector<std::wstring> first = records[0].Fields();
    if (std::any_of(first.begin(), first.end(), [](const std::wstring& f) { return LooksLikePhone(f); }))
        return false;
    if (std::any_of(first.begin(), first.end(),
                    [](const std::wstring& f) { return MeaningOfHeader(f).role != ColumnRole::None; }))
        return true;
    if (records.size() < 2) return false;
    const std::vector<std::wstring> second = records[1].Fields();
    return std::any_of(second.begin(), second.end(), [](const std::wstring& f) { return LooksLikePhone(f); });
}

namespace {

// The header's columns of each role, each list in the order its texts are joined.
struct HeaderColumns {
    std::vector<int> numbers, names, comments;
    int organization = -1;
};

HeaderColumns ColumnsByHeader(const CsvRecord& header) {
    std::vector<std::pair<int, int>> parts, names, comments;  // (order, column)
    HeaderColumns found;
    for (size_t c = 0; c < header.size(); ++c) {
        const int column = static_cast<int>(c);
        const HeaderMeaning meaning = MeaningOfHeader(header[c]);
        switch (meaning.role) {
        case ColumnRole::Number: found.numbers.push_back(column); break;
        case ColumnRole::Name: (meaning.namePart ? parts : names).emplace_back(meaning.order, column); break;
        case ColumnRole::Organization: if (found.organization < 0) found.organization = column; break;
        case ColumnRole::Comment: comments.emplace_back(meaning.order, column); break;
        case ColumnRole::None: break;
        }
    }
    // The parts of a name make it; without them, the first column naming a whole one does.
    if (parts.empty() && !names.empty()) parts.push_back(names.front());
    std::stable_sort(parts.begin(), parts.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::stable_sort(comments.begin(), comments.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (const auto& part : parts) found.names.push_back(part.second);
    for (const auto& part : comments) found.comments.push_back(part.second);
    return found;
}

// The first of a list as the main column, the rest as the further ones.
void Assign(const std::vector<int>& list, int& first, std::vector<int>& more) {
    first = list.empty() ? -1 : list.front();
    more.assign(list.size() > 1 ? list.begin() + 1 : list.end(), list.end());
}

}  // namespace

CsvColumns GuessCsvColumns(const std::vector<CsvRecord>& records, bool hasHeader) {
    CsvColumns columns;
    constexpr size_t kSampled = 200;
    size_t width = 0;
    std::vector<size_t> phones, texts;
    for (size_t r = hasHeader ? 1 : 0; r < records.size() && r < kSampled; ++r) {
        const CsvRecord& record = records[r];
        width = std::max(width, record.size());
        phones.resize(width);
        texts.resize(width);
        for (size_t c = 0; c < record.size(); ++c) {
            if (LooksLikePhones(record[c])) ++phones[c];
            else if (!record[c].empty()) ++texts[c];
        }
    }
    const auto count = [](const std::vector<size_t>& counts, int column) {
        return static_cast<size_t>(column) < counts.size() ? counts[static_cast<size_t>(column)] : 0;
    };
    if (hasHeader && !records.empty()) {
        HeaderColumns found = ColumnsByHeader(records[0]);
        // A column named like a number that holds words ("Work", "Mobile") is not one.
        std::erase_if(found.numbers, [&](int c) { return count(texts, c) > 0 && count(phones, c) == 0; });
        Assign(found.numbers, columns.number, columns.moreNumbers);
        Assign(found.names, columns.name, columns.moreNames);
        Assign(found.comments, columns.comment, columns.moreComments);
        columns.organization = found.organization;
    }
    const auto taken = [&](int column) {
        const auto in = [column](const std::vector<int>& list) {
            return std::find(list.begin(), list.end(), column) != list.end();
        };
        return column == columns.number || column == columns.name || column == columns.comment ||
               column == columns.organization || in(columns.moreNumbers) || in(columns.moreNames) ||
               in(columns.moreComments);
    };
    if (columns.number < 0) {
        size_t most = 0;
        for (size_t c = 0; c < width; ++c)
            if (phones[c] > most && !taken(static_cast<int>(c))) {
                most = phones[c];
                columns.number = static_cast<int>(c);
            }
        if (columns.number < 0 && width > 0 && !taken(0)) columns.number = 0;
    }
    auto nextText = [&](int after) {
        for (size_t c = static_cast<size_t>(std::max(after + 1, 0)); c < width; ++c) {
            const int column = static_cast<int>(c);
            if (!taken(column) && texts[c] > 0) return column;
        }
        return -1;
    };
    if (columns.name < 0 && columns.organization < 0) columns.name = nextText(-1);
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

namespace {

// The numbers of one field: web mail puts several into one, separated by ":::".
void AddNumbers(const std::wstring& field, std::vector<std::wstring>& numbers) {
    size_t start = 0;
    for (;;) {
        const size_t at = field.find(L":::", start);
        std::wstring number = TrimControlChars(std::wstring_view(field).substr(start, at == std::wstring::npos ? at : at - start));
        if (!number.empty() && std::find(numbers.begin(), numbers.end(), number) == numbers.end())
            numbers.push_back(std::move(number));
        if (at == std::wstring::npos) return;
        start = at + 3;
    }
}

}  // namespace

std::vector<ImportedContact> ContactsFromCsv(const std::vector<CsvRecord>& records, const CsvColumns& columns,
                                             bool hasHeader) {
    const std::vector<int> numberColumns = columns.Numbers();
    const std::vector<int> nameColumns = columns.Names();
    std::vector<int> commentColumns = columns.Comments();
    const CsvRecord* header = hasHeader && !records.empty() ? &records[0] : nullptr;
    std::vector<ImportedContact> contacts;
    contacts.reserve(records.size());
    std::vector<std::wstring> numbers;
    std::vector<std::pair<int, std::wstring>> parts;  // (column, text) of the comment
    for (size_t r = hasHeader ? 1 : 0; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        const auto text = [&](int column) { return TrimControlChars(WithoutSpreadsheetGuard(Field(record, column))); };
        std::wstring person;
        for (const int column : nameColumns)
            if (std::wstring part = text(column); !part.empty()) person += (person.empty() ? L"" : L" ") + part;
        if (nameColumns.size() == 1) person = WithoutSpreadsheetGuard(Field(record, nameColumns[0]));
        const std::wstring organization = text(columns.organization);
        parts.clear();
        if (!person.empty() && !organization.empty()) parts.emplace_back(columns.organization, organization);
        for (const int column : commentColumns)
            if (std::wstring part = WithoutSpreadsheetGuard(Field(record, column)); !part.empty())
                parts.emplace_back(column, std::move(part));
        std::wstring comment;
        for (const auto& [column, part] : parts) {
            if (!comment.empty()) comment += L"; ";
            // Labelled only where several parts would otherwise be mixed up.
            const std::wstring label = parts.size() > 1 && header ? TrimControlChars(Field(*header, column)) : L"";
            comment += label.empty() ? part : label + L": " + part;
        }
        // Made once, shared by the record's numbers.
        const TSharedText name(person.empty() ? organization : person);
        numbers.clear();
        for (const int column : numberColumns) AddNumbers(WithoutSpreadsheetGuard(Field(record, column)), numbers);
        std::wstring error = record.brokenQuote ? L"кавычка не закрыта" : L"";
        // Not copied once per number: a huge text would be multiplied by them.
        if (error.empty() && !FitsSharedDirectoryProtocol(name.str())) error = TooLongReason(L"имя");
        if (error.empty() && !FitsSharedDirectoryProtocol(comment)) error = TooLongReason(L"комментарий");
        const TSharedText sharedComment(error.empty() ? std::move(comment) : std::wstring());
        if (numbers.empty() || !error.empty()) {
            contacts.push_back({record.line, numbers.empty() ? L"" : numbers.front(), error.empty() ? name : TSharedText(),
                                sharedComment, error, record.line});
            continue;
        }
        for (std::wstring& number : numbers)
            contacts.push_back({record.line, std::move(number), name, sharedComment, L"", record.line});
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

// Whether `word` (upper-case ASCII) is in the text, ignoring the case of ASCII letters.
bool ContainsAsciiNoCase(std::wstring_view text, std::wstring_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && (text[i + k] == word[k] || text[i + k] + (L'A' - L'a') == word[k])) ++k;
        if (k == word.size()) return true;
    }
    return false;
}

std::vector<VCardLine> VCardLines(std::wstring_view text, ImportProgress* progress) {
    std::vector<VCardLine> lines;
    std::wstring logical;
    int logicalLine = 0;
    // Whether the logical line's name and parameters (up to its first colon)
    // ask for quoted-printable: only what each physical line adds is searched,
    // so that a line folded a million times is not searched a million times.
    static constexpr std::wstring_view kQuotedPrintable = L"QUOTED-PRINTABLE";
    size_t headScanned = 0;
    bool headDone = false;
    bool quotedPrintable = false;
    auto scanHead = [&] {
        if (headDone) return;
        const size_t colon = logical.find(L':', headScanned);
        const size_t end = colon == std::wstring::npos ? logical.size() : colon;
        // The word may begin on the previous physical line.
        const size_t from = headScanned > kQuotedPrintable.size() ? headScanned - kQuotedPrintable.size() : 0;
        if (!quotedPrintable)
            quotedPrintable = ContainsAsciiNoCase(std::wstring_view(logical).substr(from, end - from), kQuotedPrintable);
        headScanned = end;
        headDone = colon != std::wstring::npos;
    };
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
        const bool softBreak = !logical.empty() && logical.back() == L'=' && quotedPrintable;
        if (!physical.empty() && (physical[0] == L' ' || physical[0] == L'\t') && !logical.empty()) {
            logical.append(physical.substr(1));
        } else if (softBreak) {
            logical.pop_back();
            logical.append(physical);
        } else {
            flush();
            logical.assign(physical);
            logicalLine = line;
            headScanned = 0;
            headDone = false;
            quotedPrintable = false;
        }
        scanHead();
        i = SkipLineBreak(text, end);
        if (progress && line % 4096 == 0) progress->Step(i, text.size());
        ++line;
    }
    flush();
    return lines;
}

}  // namespace

std::vector<ImportedContact> ParseVCards(std::wstring_view text, ImportProgress* progress) {
    std::vector<ImportedContact> contacts;
    bool inCard = false;
    int cardLine = 0;
    std::wstring formatted, structured, note, organization, title;
    std::vector<std::pair<int, std::wstring>> phones;
    const std::vector<VCardLine> lines = VCardLines(text, progress);
    for (size_t k = 0; k < lines.size(); ++k) {
        const VCardLine& entry = lines[k];
        ImportStep(progress, k, 0);
        std::wstring value =
            IsQuotedPrintable(entry.params) ? DecodeQuotedPrintable(entry.value, entry.params) : entry.value;
        if (entry.name == L"BEGIN" && StartsWithNoCase(value, L"VCARD")) {
            inCard = true;
            cardLine = entry.line;
            formatted.clear();
            structured.clear();
            note.clear();
            organization.clear();
            title.clear();
            phones.clear();
        } else if (!inCard) {
            continue;
        } else if (entry.name == L"END") {
            inCard = false;
            const std::wstring person = TrimControlChars(formatted.empty() ? structured : formatted);
            // An organisation's card names it; a person's card keeps it in the comment.
            const std::wstring name = person.empty() ? organization : person;
            std::wstring comment;
            for (const std::wstring* part : {person.empty() ? nullptr : &organization, &title, &note})
                if (part && !part->empty()) comment += (comment.empty() ? L"" : L"; ") + *part;
            // Made once, shared by the card's numbers.
            const TSharedText sharedName(name), sharedComment(std::move(comment));
            if (phones.empty()) {
                contacts.push_back({cardLine, L"", sharedName, sharedComment, L"в карточке нет номера телефона", cardLine});
                continue;
            }
            // Not copied once per number: a huge note would be multiplied by them.
            const std::wstring tooLong =
                !FitsSharedDirectoryProtocol(name)                  ? TooLongReason(L"имя")
                : !FitsSharedDirectoryProtocol(sharedComment.str()) ? TooLongReason(L"комментарий")
                                                                    : std::wstring();
            for (const auto& [line, number] : phones)
                contacts.push_back(tooLong.empty() ? ImportedContact{line, number, sharedName, sharedComment, L"", cardLine}
                                                   : ImportedContact{line, number, {}, {}, tooLong, cardLine});
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
        } else if (entry.name == L"ORG") {
            // Organisation; unit; ...: the units are left out.
            organization = TrimControlChars(UnescapeVCard(SplitEscaped(value, L';').front()));
        } else if (entry.name == L"TITLE") {
            title = TrimControlChars(UnescapeVCard(value));
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

ImportStatus MergeImportRow(const TSharedText& fileName, const TSharedText& fileComment,
                            const std::pair<std::wstring, std::wstring>* stored, bool replaceNames,
                            TSharedText& name, TSharedText& comment) {
    if (!stored) {
        name = fileName;
        comment = fileComment;
        return ImportStatus::New;
    }
    const auto& [storedName, storedComment] = *stored;
    name = !replaceNames || fileName.empty() ? TSharedText(storedName) : fileName;
    comment = fileComment.empty() ? TSharedText(storedComment) : fileComment;
    return name == storedName && comment == storedComment ? ImportStatus::Unchanged : ImportStatus::Changed;
}

ImportPreview BuildImportPreview(const std::vector<ImportedContact>& contacts, const DirectorySnapshot& directory,
                                 const ImportOptions& options, ImportProgress* progress) {
    ImportPreview preview;
    preview.replaceNames = options.replaceNames;
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
    std::vector<int> cards;  // the contact of each row
    cards.reserve(contacts.size());
    std::wstring number, reason;
    for (size_t k = 0; k < contacts.size(); ++k) {
        ImportStep(progress, k, contacts.size());
        const ImportedContact& contact = contacts[k];
        if (!contact.error.empty()) {
            reject(contact.line, contact.error);
            continue;
        }
        if (!NormalizeImportedNumber(contact.number, options.dialling, number, reason)) {
            reject(contact.line, reason);
            continue;
        }
        // The name is cut to the stored width anyway; the comment is stored whole.
        if (!FitsSharedDirectoryProtocol(contact.comment.str())) {
            reject(contact.line, TooLongReason(L"комментарий"));
            continue;
        }
        // The name as stored is short; the comment stays shared with the file's contact.
        const bool nameCut = contact.name.size() > static_cast<size_t>(kImportNameWidth);
        const TSharedText name = nameCut ? TSharedText(CutToWidth(contact.name.str(), kImportNameWidth)) : contact.name;
        ImportRow row{contact.line, number, name, contact.comment, ImportStatus::New, nameCut, name, contact.comment};
        const auto [at, added] = byPhone.try_emplace(number, rows.size());
        if (added) {
            rows.push_back(std::move(row));
            cards.push_back(contact.card);
        } else if (contact.card != 0 && cards[at->second] == contact.card) {
            // The same contact gave the number twice ("Рабочий" and "Основной").
            continue;
        } else {
            ++preview.duplicateCount;
            if (duplicates.size() < ImportPreview::kMaxDetails) duplicates.push_back({rows[at->second].line, 0, number});
            rows[at->second] = std::move(row);
            cards[at->second] = contact.card;
        }
    }
    for (DuplicateLine& duplicate : duplicates) duplicate.keptLine = rows[byPhone[duplicate.phone]].line;

    preview.rows.reserve(rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        ImportStep(progress, k, 0);
        ImportRow& row = rows[k];
        const auto stored = directory.find(row.phone);
        if (stored == directory.end() && row.name.empty()) {
            reject(row.line, L"нет имени абонента");
            continue;
        }
        row.status = MergeImportRow(row.fileName, row.fileComment, stored == directory.end() ? nullptr : &stored->second,
                                    options.replaceNames, row.name, row.comment);
        if (row.status != ImportStatus::New && (!options.replaceNames || row.fileName.empty())) row.nameCut = false;
        ++(row.status == ImportStatus::New       ? preview.newCount
           : row.status == ImportStatus::Changed ? preview.changedCount
                                                 : preview.unchangedCount);
        if (row.nameCut) ++preview.namesCut;
        preview.rows.push_back(std::move(row));
    }
    std::stable_sort(rejected.begin(), rejected.end(), [](const RejectedLine& a, const RejectedLine& b) { return a.line < b.line; });
    preview.rejected = std::move(rejected);
    preview.duplicates = std::move(duplicates);
    return preview;
}

ImportSource ReadImportFile(std::string_view bytes, const CsvColumns* columns, ImportProgress* progress) {
    ImportSource source;
    DecodedText decoded = DecodeImportText(bytes);
    source.encoding = decoded.encoding;
    if (LooksLikeVCard(decoded.text)) {
        source.vcard = true;
        source.contacts = ParseVCards(decoded.text, progress);
        return source;
    }
    source.separator = DetectCsvSeparator(decoded.text);
    source.records = ParseCsv(decoded.text, source.separator, kMaxImportColumns, progress);
    for (size_t r = 0; r < source.records.size() && r < kImportHeadRecords; ++r)
        source.columnCount = std::max(source.columnCount, source.records[r].fieldCount);
    source.hasHeader = LooksLikeHeader(source.records);
    source.columns = columns ? *columns : GuessCsvColumns(source.records, source.hasHeader);
    source.contacts = ContactsFromCsv(source.records, source.columns, source.hasHeader);
    return source;
}
