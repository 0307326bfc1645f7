#include "SaveFailureText.h"

#include "ConnectionTexts.h"
#include "MainFormRes.h"
#include "ResourceText.h"

#include <windows.h>

#include <vector>

namespace {

// A string-table text with its %1, %2 ... filled in; an argument's own % signs stay as they are.
std::wstring FormatResourceText(UINT id, const std::vector<std::wstring>& arguments) {
    const std::wstring pattern = LoadResourceString(id);
    std::vector<DWORD_PTR> values;
    for (const std::wstring& argument : arguments) values.push_back(reinterpret_cast<DWORD_PTR>(argument.c_str()));
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, pattern.c_str(),
        0, 0, reinterpret_cast<wchar_t*>(&buffer), 0, reinterpret_cast<va_list*>(values.data()));
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) ::LocalFree(buffer);
    if (text.empty())
        for (const std::wstring& argument : arguments) text += (text.empty() ? L"" : L"\r\n") + argument;
    return text;
}

std::wstring NumberText(const std::wstring& phone) {
    return phone.empty() ? LoadResourceString(IDS_SAVE_NO_NUMBER) : phone;
}

}  // namespace

std::wstring SaveFailureText(const TSaveFailure& failure) {
    return FormatResourceText(IDS_SAVE_FAILED, {NumberText(failure.Phone), GetExceptionText(failure.Error)});
}

std::wstring UnfinishedSaveText(const std::wstring& phone) {
    return FormatResourceText(IDS_SAVE_UNFINISHED, {NumberText(phone)});
}
