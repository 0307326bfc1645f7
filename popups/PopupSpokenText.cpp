#include "PopupSpokenText.h"

#include "TextTrim.h"

namespace {

// Lines a screen reader would read as nothing (an empty name, a blank comment) are left out.
void AppendPart(std::wstring& spoken, std::wstring_view part, std::wstring_view separator) {
    const std::wstring trimmed = TrimControlChars(part);
    if (trimmed.empty()) return;
    if (!spoken.empty()) spoken += separator;
    spoken += trimmed;
}

}  // namespace

std::wstring PopupSpokenText(std::wstring_view title, std::wstring_view infoText) {
    std::wstring spoken;
    AppendPart(spoken, SingleLineText(std::wstring(title)), L"");
    std::wstring lines;
    size_t start = 0;
    while (start <= infoText.size()) {
        size_t end = infoText.find_first_of(L"\r\n", start);
        if (end == std::wstring_view::npos) end = infoText.size();
        AppendPart(lines, SingleLineText(std::wstring(infoText.substr(start, end - start))), L", ");
        start = end + 1;
    }
    AppendPart(spoken, lines, L": ");
    return spoken;
}
