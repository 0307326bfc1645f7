#pragma once
#include "ImportProgress.h"
#include "KordavinUtils.h"
#include "SharedText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Contacts read from a CSV or vCard file, checked against the subscriber
// directory before anything is stored. Plain text logic; no windows, no store.

enum class TextEncoding { Utf8, Utf8Bom, Windows1251, Utf16Le, Utf16Be };

// The file's bytes as text: a BOM decides; otherwise valid UTF-8 is UTF-8 and
// anything else is Windows-1251. A text with a NUL character in it, in any
// encoding, is not text: ContactImportError.
struct DecodedText {
    std::wstring text;
    TextEncoding encoding = TextEncoding::Utf8;
};
DecodedText DecodeImportText(std::string_view bytes);

class ContactImportError : public std::exception {
public:
    explicit ContactImportError(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }
    const char* what() const noexcept override { return "contact import error"; }

private:
    std::wstring message_;
};

// One record of a CSV file: its fields and the line on which it starts (1-based).
// Only the texts of non-empty fields are held, together in one string: a file
// of empty fields or of short ones costs little more than its own size.
struct CsvRecord {
    int line = 0;
    // How many fields the line has; more than size() when they were cut.
    std::size_t fieldCount = 0;
    // A stray quote: the record holds its line's text split at the separators.
    bool brokenQuote = false;

    // The fields kept (empty ones included).
    std::size_t size() const { return kept_; }
    // A kept field's text; empty for an empty field or past the kept ones.
    std::wstring_view operator[](std::size_t column) const;
    // Every kept field's text, in order.
    std::vector<std::wstring> Fields() const;
    // The next field.
    void Add(std::wstring_view text);
    void Clear();
    // Gives back what growing the record left over, once it is complete.
    void ShrinkToFit();

private:
    std::wstring texts_;
    // (column, end of its text in texts_) of each non-empty field, by column.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> nonEmpty_;
    std::size_t kept_ = 0;
};

// RFC 4180 quoting ("" inside quotes is one quote; separators and line breaks
// inside quotes belong to the field); CR, LF and CR LF all end a line. A stray
// quote (left open to the end of the file, or closed lines later right before
// more text) breaks only its own line: the record is marked and reading goes on
// from the next line. Only the first `maxFields` fields of a record are kept.
std::vector<CsvRecord> ParseCsv(std::wstring_view text, wchar_t separator, std::size_t maxFields = SIZE_MAX,
                                ImportProgress* progress = nullptr);

// An import offers no more columns than this to choose from; a file's further
// columns are not read.
inline constexpr std::size_t kMaxImportColumns = 100;
// The first records, whose fields name the columns to choose from.
inline constexpr std::size_t kImportHeadRecords = 3;

// ';', '\t' or ',': the one that splits the first lines into the most equal
// number of fields (more than one), in that order of preference on a tie.
wchar_t DetectCsvSeparator(std::wstring_view text);

// Where the number, name and comment are in a CSV record; -1 for none.
struct CsvColumns {
    int number = -1;
    int name = -1;
    int comment = -1;
    // An address book spreads a contact over more columns: its further numbers
    // (each its own directory row), the further parts of its name and comment
    // in the order they are joined, and its organisation (the name when there
    // is no person, otherwise a part of the comment).
    std::vector<int> moreNumbers{};
    std::vector<int> moreNames{};
    std::vector<int> moreComments{};
    int organization = -1;

    // Each part's columns in the order their texts are joined, the main one first.
    std::vector<int> Numbers() const { return WithMain(number, moreNumbers); }
    std::vector<int> Names() const { return WithMain(name, moreNames); }
    std::vector<int> Comments() const { return WithMain(comment, moreComments); }

private:
    static std::vector<int> WithMain(int main, const std::vector<int>& more) {
        std::vector<int> all;
        if (main >= 0) all.push_back(main);
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
};

// A first record with no phone-like field above records with one, or whose
// fields name the columns, is a header.
bool LooksLikeHeader(const std::vector<CsvRecord>& records);

// Columns guessed from a header's names (MeaningOfHeader: every number column,
// the parts of a name, the organisation, the parts of a comment; a number
// column of words rather than numbers is dropped), otherwise from the content:
// the number is the column with the most phone-like texts, the name and
// comment the next columns with text.
CsvColumns GuessCsvColumns(const std::vector<CsvRecord>& records, bool hasHeader);

// One contact as the file gives it, before normalisation.
struct ImportedContact {
    int line = 0;
    std::wstring number;
    // Shared by the contact's numbers.
    TSharedText name;
    TSharedText comment;
    std::wstring error;  // set when the file itself is broken at this place
    // The contact the number belongs to (its first line; 0: not known). A
    // contact giving the same number in two of its columns stores it once.
    int card = 0;
};

// Whether a text begins with what a spreadsheet would run as a formula ("=",
// "+", "-", "@", a tab, a carriage return) or with the apostrophe that guards one.
bool StartsWithSpreadsheetTrigger(std::wstring_view text);
// The text without the one apostrophe that an export (ours, or a spreadsheet
// user's) put in front of such a text; any other text unchanged.
std::wstring WithoutSpreadsheetGuard(std::wstring text);

// One contact per number of each record (a field may hold several numbers
// separated by ":::", as web mail exports them). The name is the name columns'
// texts joined by blanks, or the organisation when they are empty; the comment
// the organisation (when there is a name) and the comment columns, each
// labelled with its header when there are several. Fields are taken without a
// spreadsheet guard (WithoutSpreadsheetGuard).
std::vector<ImportedContact> ContactsFromCsv(const std::vector<CsvRecord>& records, const CsvColumns& columns,
                                             bool hasHeader);

// vCard 3.0 and 4.0 (2.1 mostly too): FN (or N when FN is missing), every TEL
// as one contact each, NOTE as the comment; folded lines joined, the escapes
// \n, \, and \; undone, quoted-printable values decoded. A card whose name
// or note is longer than another workstation could read gives its numbers
// with that as the error.
std::vector<ImportedContact> ParseVCards(std::wstring_view text, ImportProgress* progress = nullptr);

bool LooksLikeVCard(std::wstring_view text);

// A number as written by people ("8 (495) 123-45-67", "+7 495 123.45.67") as the
// directory's key: blanks (no-break space too), brackets, dashes and dots are
// dropped, a "+" is kept only in front, then NormalizePhoneNumber applies as for
// an incoming call. Anything else (letters, "*", "#", a "+" inside) is refused:
// the result is false and `reason` says why.
bool NormalizeImportedNumber(std::wstring_view written, const TDiallingSettings& settings, std::wstring& number,
                             std::wstring& reason);

enum class ImportStatus { New, Changed, Unchanged };

struct ImportRow {
    int line = 0;
    std::wstring phone;
    TSharedText name, comment;  // as they will be stored
    ImportStatus status = ImportStatus::New;
    bool nameCut = false;
    // The file's own name (cut to width) and comment: the write merges them
    // again with the row as it is stored by then. Shared with the file's
    // contact, as the texts above are when they come from the file.
    TSharedText fileName{}, fileComment{};
};

// The file's name and comment merged with the directory's row of the number
// (null: none stored): an empty text of the file keeps the stored one, and a
// stored name stays unless `replaceNames`. Gives the status of the result.
ImportStatus MergeImportRow(const TSharedText& fileName, const TSharedText& fileComment,
                            const std::pair<std::wstring, std::wstring>* stored, bool replaceNames,
                            TSharedText& name, TSharedText& comment);

struct RejectedLine {
    int line = 0;
    std::wstring reason;
};

// A number given again later in the file: the later line wins.
struct DuplicateLine {
    int line = 0;       // the line that lost
    int keptLine = 0;   // the line that is stored
    std::wstring phone;
};

// What an import would do, row by row, before anything is written.
struct ImportPreview {
    std::vector<ImportRow> rows;  // accepted, one per number, in file order
    std::size_t newCount = 0, changedCount = 0, unchangedCount = 0;
    std::size_t rejectedCount = 0, duplicateCount = 0, namesCut = 0;
    // The details, the first kMaxDetails of each; the counts above are complete.
    std::vector<RejectedLine> rejected;
    std::vector<DuplicateLine> duplicates;
    static constexpr std::size_t kMaxDetails = 1000;
    // The choice the rows were merged with; the write merges with it again.
    bool replaceNames = true;
};

// A directory row's stored name and comment, by number.
using DirectorySnapshot = std::unordered_map<std::wstring, std::pair<std::wstring, std::wstring>>;

struct ImportOptions {
    TDiallingSettings dialling;
    // For numbers already stored: keep the stored name (only the comment may
    // change) or take the file's.
    bool replaceNames = true;
};

// Widths as the directory stores them.
inline constexpr int kImportPhoneWidth = 16;
inline constexpr int kImportNameWidth = 64;

// A name or comment longer than another workstation could read is rejected.
ImportPreview BuildImportPreview(const std::vector<ImportedContact>& contacts, const DirectorySnapshot& directory,
                                 const ImportOptions& options, ImportProgress* progress = nullptr);

// A whole file: encoding, format (vCard or CSV), separator, header and columns
// detected. `columns` overrides the guess when given.
struct ImportSource {
    TextEncoding encoding = TextEncoding::Utf8;
    bool vcard = false;
    wchar_t separator = L';';
    bool hasHeader = false;
    CsvColumns columns;
    std::vector<ImportedContact> contacts;
    // A CSV file's records (the first kMaxImportColumns fields of each), from
    // which other columns are taken without reading the file again.
    std::vector<CsvRecord> records;
    // The most fields a line of the first records has, cut ones included.
    std::size_t columnCount = 0;
};
ImportSource ReadImportFile(std::string_view bytes, const CsvColumns* columns = nullptr,
                            ImportProgress* progress = nullptr);
