#include "ImportColumnChoice.h"

#include "TextTrim.h"

#include <algorithm>

namespace {

void SplitFirst(const std::vector<int>& all, int& first, std::vector<int>& more) {
    first = all.empty() ? -1 : all.front();
    more.assign(all.size() > 1 ? all.begin() + 1 : all.end(), all.end());
}

std::vector<int> ChosenFor(const CsvColumns& columns, ImportPart part) {
    switch (part) {
    case ImportPart::Number: return columns.Numbers();
    case ImportPart::Name: return columns.Names();
    case ImportPart::Comment: return columns.Comments();
    case ImportPart::Organization:
        return columns.organization >= 0 ? std::vector<int>{columns.organization} : std::vector<int>{};
    }
    return {};
}

std::wstring OneLine(std::wstring_view text) { return SingleLineText(TrimControlChars(text)); }

}  // namespace

std::vector<ColumnOffer> OfferedColumns(const std::vector<CsvRecord>& records, bool hasHeader,
                                        const CsvColumns& columns, ImportPart part) {
    // The records hold no more than the offered columns.
    const size_t head = std::min(records.size(), kImportHeadRecords);
    size_t count = 0;
    for (size_t r = 0; r < head; ++r) count = std::max(count, records[r].size());

    std::vector<ColumnOffer> offers(count);
    for (size_t c = 0; c < count; ++c) {
        ColumnOffer& offer = offers[c];
        offer.column = static_cast<int>(c);
        if (hasHeader && c < records[0].size()) offer.title = OneLine(records[0][c]);
        for (size_t r = hasHeader ? 1 : 0; r < head && offer.sample.empty(); ++r)
            if (c < records[r].size()) offer.sample = OneLine(records[r][c]);
    }

    const std::vector<int> chosen = ChosenFor(columns, part);
    std::vector<ColumnOffer> ordered;
    ordered.reserve(count);
    if (part != ImportPart::Organization)
        for (const int column : chosen)
            if (column >= 0 && static_cast<size_t>(column) < count && !offers[static_cast<size_t>(column)].chosen) {
                offers[static_cast<size_t>(column)].chosen = true;
                ordered.push_back(offers[static_cast<size_t>(column)]);
            }
    for (ColumnOffer& offer : offers) {
        if (part == ImportPart::Organization) offer.chosen = !chosen.empty() && chosen.front() == offer.column;
        else if (offer.chosen) continue;
        ordered.push_back(offer);
    }
    return ordered;
}

CsvColumns ChosenCsvColumns(const std::vector<int>& numbers, const std::vector<int>& names,
                            const std::vector<int>& comments, int organization) {
    CsvColumns columns;
    SplitFirst(numbers, columns.number, columns.moreNumbers);
    SplitFirst(names, columns.name, columns.moreNames);
    SplitFirst(comments, columns.comment, columns.moreComments);
    columns.organization = organization;
    return columns;
}
