#include "CrmLink.h"

#include "TextConvert.h"
#include "TextTrim.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <mutex>
#include <string_view>

namespace {

// In the order of PlaceholderValue.
constexpr std::array<std::wstring_view, 3> kPlaceholders{L"number", L"name", L"channel"};

const std::wstring& PlaceholderValue(size_t index, const TCaller& caller, const std::wstring& channel) {
    switch (index) {
    case 0: return caller.Number;
    case 1: return caller.Name;
    default: return channel;
    }
}
constexpr std::array<std::wstring_view, 2> kSchemes{L"http://", L"https://"};
// How much of a refused placeholder the message quotes.
constexpr size_t kMaxDetail = 24;

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiLower(text[i]) != prefix[i]) return false;
    return true;
}

bool IsUnreserved(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_' || c == L'~';
}

// What a template may hold as typed: unreserved and reserved characters.
bool IsUrlCharacter(wchar_t c) {
    return IsUnreserved(c) || std::wstring_view(L":/?#[]@!$&'()*+,;=").find(c) != std::wstring_view::npos;
}

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

void AppendEncoded(std::wstring& out, std::wstring_view text) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    for (unsigned char byte : WideToUtf8(text)) {
        out += L'%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

// The placeholder starting at text[at] (a '{'): its index, or -1. length gets
// the length of the placeholder with its braces.
int PlaceholderAt(std::wstring_view text, size_t at, size_t& length) {
    for (size_t i = 0; i < kPlaceholders.size(); ++i) {
        const std::wstring_view name = kPlaceholders[i];
        const size_t end = at + 1 + name.size();
        if (end < text.size() && text[end] == L'}' && StartsWithIgnoringAsciiCase(text.substr(at + 1), name)) {
            length = name.size() + 2;
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::wstring RefusedFragment(std::wstring_view text, size_t at) {
    const size_t close = text.find(L'}', at);
    const size_t end = close == std::wstring_view::npos ? text.size() : close + 1;
    std::wstring fragment(text.substr(at, std::min(end - at, kMaxDetail)));
    if (end - at > kMaxDetail) fragment += L"…";
    return fragment;
}

std::mutex gOpenerLock;  // guards gOpener
TUrlOpener gOpener;

}  // namespace

TCrmOpenMode EffectiveCrmOpenMode(TCrmOpenMode mode) {
    return mode == comButton || mode == comOnAnswer ? mode : comNever;
}

std::wstring PercentEncodeValue(const std::wstring& value) {
    std::wstring out;
    out.reserve(value.size() * 3);
    size_t run = 0;  // start of the units still to be encoded
    for (size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && !IsUnreserved(value[i])) continue;
        // Encoded a run at a time, so that surrogate pairs stay whole.
        AppendEncoded(out, std::wstring_view(value).substr(run, i - run));
        if (i < value.size()) out += value[i];
        run = i + 1;
    }
    return out;
}

TCrmTemplateVerdict CheckCrmTemplate(const std::wstring& urlTemplate) {
    const std::wstring text = TrimControlChars(urlTemplate);
    if (text.empty()) return {TCrmTemplateCheck::Empty, {}};
    bool schemeAccepted = false;
    for (std::wstring_view scheme : kSchemes) {
        if (!StartsWithIgnoringAsciiCase(text, scheme)) continue;
        // A host must follow: "https://" alone or "https:///path" is no address.
        const wchar_t next = text.size() > scheme.size() ? text[scheme.size()] : L'\0';
        schemeAccepted = next != L'\0' && next != L'/' && next != L'?' && next != L'#';
    }
    if (!schemeAccepted) return {TCrmTemplateCheck::SchemeRefused, {}};
    std::wstring detail;
    if (FindUnknownPlaceholder(text, detail)) return {TCrmTemplateCheck::UnknownPlaceholder, detail};
    return {TCrmTemplateCheck::Accepted, {}};
}

bool CrmLinkUsable(const TCrmSettings& settings) {
    return EffectiveCrmOpenMode(settings.OpenMode) != comNever &&
           CheckCrmTemplate(settings.UrlTemplate).Check == TCrmTemplateCheck::Accepted;
}

bool CrmOpensOnAnswer(const TCrmSettings& settings) {
    return CrmLinkUsable(settings) && EffectiveCrmOpenMode(settings.OpenMode) == comOnAnswer;
}

std::wstring BuildCrmUrl(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel) {
    if (CheckCrmTemplate(urlTemplate).Check != TCrmTemplateCheck::Accepted) return {};
    return FillUrlTemplate(urlTemplate, caller, channel);
}

bool FindUnknownPlaceholder(const std::wstring& urlTemplate, std::wstring& detail) {
    const std::wstring text = TrimControlChars(urlTemplate);
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != L'{' && text[at] != L'}') continue;
        size_t length = 0;
        if (text[at] == L'{' && PlaceholderAt(text, at, length) >= 0) {
            at += length - 1;
            continue;
        }
        detail = RefusedFragment(text, at);
        return true;
    }
    return false;
}

std::wstring FillUrlTemplate(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel) {
    const std::wstring text = TrimControlChars(urlTemplate);
    std::wstring url;
    url.reserve(text.size() * 2);
    // The scheme in its usual lower case.
    const size_t colon = text.find(L':');
    const size_t schemeEnd = colon == std::wstring::npos ? 0 : colon;
    for (size_t i = 0; i < schemeEnd; ++i) url += AsciiLower(text[i]);
    size_t run = schemeEnd;  // start of template text still to be copied
    const auto copyRun = [&](size_t end) {
        for (size_t i = run; i < end;) {
            const wchar_t c = text[i];
            if (IsUrlCharacter(c) || 
                (c == L'%' && i + 2 < end && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]))) {
                url += c;
                ++i;
                continue;
            }
            // Everything else up to the next valid character, encoded as one
            // piece so that surrogate pairs stay whole; a stray '%' too.
            size_t j = i + 1;
            while (j < end && !IsUrlCharacter(text[j]) && text[j] != L'%') ++j;
            AppendEncoded(url, std::wstring_view(text).substr(i, j - i));
            i = j;
        }
    };
    for (size_t at = run; at < text.size(); ++at) {
        size_t length = 0;
        const int placeholder = text[at] == L'{' ? PlaceholderAt(text, at, length) : -1;
        if (placeholder < 0) continue;
        copyRun(at);
        url += PercentEncodeValue(PlaceholderValue(static_cast<size_t>(placeholder), caller, channel));
        at += length - 1;
        run = at + 1;
    }
    copyRun(text.size());
    return url;
}

bool OpenUrlInBrowser(const std::wstring& url, std::wstring& error) {
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    // No process handle kept, and no error box of the shell's own: the caller tells.
    execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = url.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&execute)) return true;
    error = SystemErrorText(::GetLastError());
    return false;
}

bool HasCallNumber(const std::wstring& number) {
    return number.find_first_of(L"0123456789") != std::wstring::npos;
}

void SetCrmUrlOpener(TUrlOpener opener) {
    std::lock_guard<std::mutex> lock(gOpenerLock);
    gOpener = std::move(opener);
}

bool OpenUrl(const std::wstring& url, std::wstring& error) {
    TUrlOpener opener;
    {
        std::lock_guard<std::mutex> lock(gOpenerLock);
        opener = gOpener;
    }
    return opener ? opener(url, error) : OpenUrlInBrowser(url, error);
}

TCrmOpenResult OpenCrmCard(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel,
                           std::wstring* error) {
    const TCrmTemplateCheck check = CheckCrmTemplate(urlTemplate).Check;
    if (check == TCrmTemplateCheck::Empty) return TCrmOpenResult::NotConfigured;
    if (check != TCrmTemplateCheck::Accepted) return TCrmOpenResult::TemplateRefused;
    if (!HasCallNumber(caller.Number)) return TCrmOpenResult::NoNumber;
    std::wstring reason;
    if (OpenUrl(BuildCrmUrl(urlTemplate, caller, channel), reason)) return TCrmOpenResult::Opened;
    if (error) *error = reason;
    return TCrmOpenResult::OpenFailed;
}
