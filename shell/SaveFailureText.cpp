#include "SaveFailureText.h"

#include "ConnectionTexts.h"
#include "MainFormRes.h"
#include "ResourceText.h"

#include <windows.h>


namespace {

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
