#include "LongPath.h"

#include <windows.h>

namespace {

std::wstring ComparableForm(const std::wstring& path) {
    std::wstring form = LongPathOf(path);
    for (wchar_t& unit : form)
        if (unit == L'/') unit = L'\\';
    while (form.size() > 1 && form.back() == L'\\') form.pop_back();
    return form;
}

}  // namespace

std::wstring LongPathOf(const std::wstring& path) {
    const DWORD length = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return path;
    std::wstring longPath(length, L'\0');
    const DWORD written = ::GetLongPathNameW(path.c_str(), longPath.data(), length);
    if (written == 0 || written >= length) return path;
    longPath.resize(written);
    return longPath;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring first = ComparableForm(a);
    const std::wstring second = ComparableForm(b);
    // File names compare by the file system's upper-case table, not by a locale.
    return !first.empty() && ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                                    static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}
