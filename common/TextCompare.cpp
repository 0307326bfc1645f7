#include "TextCompare.h"

#include <windows.h>

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::wstring LowerCaseText(std::wstring_view text) {
    std::wstring lower(text);
    if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    return lower;
}

std::wstring UpperCaseText(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}
