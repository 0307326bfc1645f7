#pragma once
#include <memory>
#include <string>

// A text that does not change once made, shared by its copies: a copy costs a
// reference count, not the text, and the empty text costs no allocation. For
// one long text that many records carry (a contact's comment on each of its
// numbers).
class TSharedText {
public:
    TSharedText() = default;
    TSharedText(std::wstring text)
        : FText(text.empty() ? nullptr : std::make_shared<const std::wstring>(std::move(text))) {}
    TSharedText(const wchar_t* text) : TSharedText(std::wstring(text)) {}

    const std::wstring& str() const { return FText ? *FText : Empty(); }
    operator const std::wstring&() const { return str(); }
    bool empty() const { return !FText; }
    std::size_t size() const { return str().size(); }
    // Whether the two share one text (tests, and a check that nothing was copied).
    bool SharesWith(const TSharedText& other) const { return FText && FText == other.FText; }

    friend bool operator==(const TSharedText& a, const TSharedText& b) { return a.str() == b.str(); }
    friend bool operator==(const TSharedText& a, const std::wstring& b) { return a.str() == b; }
    friend bool operator==(const TSharedText& a, const wchar_t* b) { return a.str() == b; }

private:
    static const std::wstring& Empty() {
        static const std::wstring empty;
        return empty;
    }
    std::shared_ptr<const std::wstring> FText;
};
