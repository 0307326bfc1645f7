#include "ResourceText.h"

std::wstring LoadResourceString(UINT id, HINSTANCE module) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    const int length = ::LoadStringW(module ? module : ::GetModuleHandleW(nullptr), id,
                                     reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring FormatResourceString(UINT id, const std::wstring& argument) {
    std::wstring text = LoadResourceString(id);
    const size_t at = text.find(L'%');
    if (at == std::wstring::npos) return text;
    size_t end = at + 1;
    while (end < text.size() && !iswalpha(text[end])) ++end;
    if (end < text.size()) ++end;
    return text.replace(at, end - at, argument);
}

std::wstring FormatResourceText(UINT id, std::initializer_list<std::wstring> arguments, HINSTANCE module) {
    const std::wstring pattern = LoadResourceString(id, module);
    std::wstring text;
    text.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        const size_t index = static_cast<size_t>(next - L'1');
        if (pattern[i] == L'%' && next >= L'1' && next <= L'9' && index < arguments.size()) {
            text += arguments.begin()[index];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}
