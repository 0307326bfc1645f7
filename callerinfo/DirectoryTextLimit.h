#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

// The longest text the directory exchange carries: a directory client reads no
// text beyond it. A longer name or comment stored in a directory would make its
// number fail to look up on every client, so the directories refuse it at save
// and an import refuses such a row.
inline constexpr int32_t kMaxDirectoryTextBytes = 1 << 20;

// True when the text travels in the exchange (UTF-16LE, two bytes a unit).
constexpr bool FitsSharedDirectoryProtocol(std::wstring_view text) noexcept {
    return text.size() <= static_cast<size_t>(kMaxDirectoryTextBytes) / 2;
}

// A text of a subscriber's row.
enum class TDirectoryTextField { Phone, Name, Comment };

// A save refused because a text of the row does not fit the exchange; nothing
// is stored. The window says which text from field().
class TDirectoryTextTooLong : public std::runtime_error {
public:
    explicit TDirectoryTextTooLong(TDirectoryTextField field)
        : std::runtime_error("A text is too long for the directory exchange."), FField(field) {}
    TDirectoryTextField field() const noexcept { return FField; }

private:
    TDirectoryTextField FField;
};

// Throws TDirectoryTextTooLong for the first text of the row that does not fit.
inline void RequireDirectoryTextsFit(std::wstring_view phone, std::wstring_view name, std::wstring_view comment) {
    if (!FitsSharedDirectoryProtocol(phone)) throw TDirectoryTextTooLong(TDirectoryTextField::Phone);
    if (!FitsSharedDirectoryProtocol(name)) throw TDirectoryTextTooLong(TDirectoryTextField::Name);
    if (!FitsSharedDirectoryProtocol(comment)) throw TDirectoryTextTooLong(TDirectoryTextField::Comment);
}
