#include "SaveFailureText.h"

#include "ConnectionTexts.h"
#include "MainFormRes.h"
#include "ResourceText.h"
#include "SharingRes.h"

#include <windows.h>

namespace {

std::wstring NumberText(const std::wstring& phone) {
    return phone.empty() ? LoadResourceString(IDS_SAVE_NO_NUMBER) : phone;
}

std::wstring ReasonText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const TDirectoryTextTooLong& tooLong) {
        return DirectoryTextTooLongText(tooLong.field());
    } catch (...) {
    }
    return GetExceptionText(error);
}

}  // namespace

std::wstring DirectoryTextTooLongText(TDirectoryTextField field) {
    const UINT name = field == TDirectoryTextField::Phone  ? IDS_DBTEXT_PHONE
                      : field == TDirectoryTextField::Name ? IDS_DBTEXT_NAME
                                                           : IDS_DBTEXT_COMMENT;
    return FormatResourceText(IDS_DBTEXT_TOO_LONG,
                              {LoadResourceString(name), std::to_wstring(kMaxDirectoryTextBytes / 2)});
}

std::wstring SaveFailureText(const TSaveFailure& failure) {
    return FormatResourceText(IDS_SAVE_FAILED, {NumberText(failure.Phone), ReasonText(failure.Error)});
}

std::wstring UnfinishedSaveText(const std::wstring& phone) {
    return FormatResourceText(IDS_SAVE_UNFINISHED, {NumberText(phone)});
}
