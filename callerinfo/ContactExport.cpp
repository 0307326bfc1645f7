#include "ContactExport.h"

#include "ContactImport.h"
#include "TextConvert.h"

namespace {

void AppendField(std::wstring& line, const std::wstring& text) {
    const std::wstring field = SpreadsheetSafeField(text);
    const bool quote = field.find_first_of(L";\"\r\n") != std::wstring::npos ||
                       (!field.empty() && (field.front() <= L' ' || field.back() <= L' '));
    if (!quote) {
        line += field;
        return;
    }
    line += L'"';
    for (const wchar_t c : field) {
        if (c == L'"') line += L'"';
        line += c;
    }
    line += L'"';
}

}  // namespace

std::wstring SpreadsheetSafeField(const std::wstring& field) {
    if (field.empty() || !StartsWithSpreadsheetTrigger(field)) return field;
    return L'\'' + field;
}

std::string ExportDirectoryCsv(const std::vector<DirectoryRow>& rows) {
    std::wstring text;
    text.reserve(rows.size() * 48 + 64);
    auto appendRow = [&](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
        AppendField(text, phone);
        text += L';';
        AppendField(text, name);
        text += L';';
        AppendField(text, comment);
        text += L"\r\n";
    };
    appendRow(kExportHeader[0], kExportHeader[1], kExportHeader[2]);
    for (const DirectoryRow& row : rows) appendRow(row.phone, row.name, row.comment);
    return "\xEF\xBB\xBF" + WideToUtf8(text);
}
