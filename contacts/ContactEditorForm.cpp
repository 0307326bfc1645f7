#include "ContactEditorForm.h"

#include "AppError.h"
#include "ContactEditorRes.h"
#include "ExceptionText.h"
#include "ResourceText.h"
#include "TextConvert.h"
#include "TextTrim.h"
#include "UniqueHandle.h"
#include "WindowText.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// The editors whose windows exist, in the order they opened; user-interface thread only.
std::vector<TEditorForm*>& OpenEditors() {
    static std::vector<TEditorForm*> editors;
    return editors;
}

constexpr int kClientWidth = 280;
constexpr int kClientHeight = 203;
// A labelled edit keeps its label this many pixels above the edit.
constexpr int kLabelSpacing = 3;

struct ControlBounds {
    int id;
    int left, top, width, height;
};

// Pixel bounds in the client area; the labels are placed from the font's height.
constexpr ControlBounds kControls[] = {
    {IDC_EDITOR_PHONE, 8, 20, 265, 21},
    {IDC_EDITOR_NAME, 9, 60, 265, 21},
    {IDC_EDITOR_COMMENT, 8, 99, 264, 60},
    {IDC_EDITOR_SAVE, 116, 168, 75, 25},
    {IDC_EDITOR_CANCEL, 197, 168, 75, 25},
};

struct ControlText {
    int control;
    UINT text;
};

constexpr ControlText kTexts[] = {
    {IDC_EDITOR_PHONE_LABEL, IDS_EDITOR_PHONE_LABEL},  {IDC_EDITOR_NAME_LABEL, IDS_EDITOR_NAME_LABEL},
    {IDC_EDITOR_COMMENT_LABEL, IDS_EDITOR_COMMENT_LABEL}, {IDC_EDITOR_SAVE, IDS_EDITOR_SAVE},
    {IDC_EDITOR_CANCEL, IDS_EDITOR_CANCEL},
};

UniqueGdiObject CreateFormFont(UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = ::MulDiv(-11, static_cast<int>(dpi), 96);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return UniqueGdiObject(::CreateFontIndirectW(&font));
}

int FontLineHeight(HWND window, HGDIOBJ font) {
    WindowDC dc(window);
    const SelectedObject selected(dc.get(), font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight > 0 ? metrics.tmHeight : 13;
}

void MoveControl(HWND control, int left, int top, int width, int height) {
    ::SetWindowPos(control, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TEditorForm::TEditorForm(HINSTANCE instance, bool isPreview, TAddEditRowProc addEditRow, TSaveFailedProc onFailed)
    : FInstance(instance), FIsPreview(isPreview), FAddEditRow(std::move(addEditRow)), FOnFailed(std::move(onFailed)) {}

HWND TEditorForm::Open(HINSTANCE instance, const std::wstring& number, const std::wstring& name,
                       const std::wstring& comment, bool isPreview, TAddEditRowProc addEditRow,
                       TSaveFailedProc onFailed) {
    auto* form = new TEditorForm(instance, isPreview, std::move(addEditRow), std::move(onFailed));
    form->FNumber = number;
    form->FName = name;
    form->FComment = comment;
    return form->Show();
}

HWND TEditorForm::OpenNew(HINSTANCE instance, TAddEditRowProc addEditRow, TSaveFailedProc onFailed) {
    auto* form = new TEditorForm(instance, false, std::move(addEditRow), std::move(onFailed));
    form->FNumberEditable = true;
    return form->Show();
}

HWND TEditorForm::Show() {
    DeleteWithWindow();
    // No owner: the editor outlives the popup it came from and the main window's hiding.
    const HWND window = CreateDialogWindow(FInstance, IDD_EDITORFORM, nullptr);
    if (!window) {
        // No window took the object over.
        const DWORD error = ::GetLastError();
        delete this;
        throw AppError(SystemErrorText(error ? error : ERROR_RESOURCE_NAME_NOT_FOUND));
    }
    CenterOnDesktop();
    ::ShowWindow(window, SW_SHOW);
    FormShow();
    return window;
}

void TEditorForm::CloseAll() {
    // A copy: each editor leaves the list as its window goes.
    const std::vector<TEditorForm*> editors = OpenEditors();
    for (TEditorForm* editor : editors) editor->Close();
}

INT_PTR TEditorForm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OpenEditors().push_back(this);
        FormCreate();
        // The focus is chosen once the window is shown.
        return FALSE;
    case DM_GETDEFID:
        // No default button: Enter always arrives as IDOK, also while Save is disabled.
        ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        CancelButtonClick();
        return TRUE;
    case WM_NCDESTROY: {
        // The base forgets the handle and deletes the object after this.
        auto& editors = OpenEditors();
        editors.erase(std::remove(editors.begin(), editors.end(), this), editors.end());
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void TEditorForm::OnCommand(UINT id, UINT code) {
    switch (id) {
    case IDOK:
        // Enter, wherever the dialog manager did not give it to the focused control.
        FormKeyEnter();
        break;
    case IDCANCEL:
        // Escape.
        CancelButtonClick();
        break;
    case IDC_EDITOR_SAVE:
        // Only Enter may save past a disabled button, not a click sent to it.
        if (code == BN_CLICKED && ::IsWindowEnabled(Item(IDC_EDITOR_SAVE))) SaveButtonClick();
        break;
    case IDC_EDITOR_CANCEL:
        if (code == BN_CLICKED) CancelButtonClick();
        break;
    case IDC_EDITOR_PHONE:
        if (code == EN_CHANGE) UpdateSaveButton();
        break;
    case IDC_EDITOR_NAME:
        if (code == EN_CHANGE) AbonentNameLabeledEditChange();
        break;
    case IDC_EDITOR_COMMENT:
        if (code == EN_CHANGE) AbonentCommentMemoChange();
        break;
    default:
        break;
    }
}

void TEditorForm::FormCreate() {
    ::SetWindowTextW(FHandle, LoadResourceString(IDS_EDITOR_CAPTION, FInstance).c_str());
    for (const ControlText& text : kTexts)
        ::SetDlgItemTextW(FHandle, text.control, LoadResourceString(text.text, FInstance).c_str());

    // Pixel sizes at 96 DPI, scaled to the window's DPI, whatever the dialog
    // units of the template come to.
    const UINT dpi = ::GetDpiForWindow(FHandle);
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE)), dpi);
    ::SetWindowPos(FHandle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    FFont = CreateFormFont(dpi);
    for (HWND child = ::GetWindow(FHandle, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);

    for (const ControlBounds& bounds : kControls)
        MoveControl(Item(bounds.id), scaled(bounds.left), scaled(bounds.top), scaled(bounds.width),
                    scaled(bounds.height));
    const int labelHeight = FontLineHeight(FHandle, FFont.get());
    const int phoneLabelTop = scaled(kControls[0].top - kLabelSpacing) - labelHeight;
    const int nameLabelTop = scaled(kControls[1].top - kLabelSpacing) - labelHeight;
    MoveControl(Item(IDC_EDITOR_PHONE_LABEL), scaled(8), phoneLabelTop, scaled(265), labelHeight);
    MoveControl(Item(IDC_EDITOR_NAME_LABEL), scaled(9), nameLabelTop, scaled(265), labelHeight);
    MoveControl(Item(IDC_EDITOR_COMMENT_LABEL), scaled(8), scaled(85), scaled(264), labelHeight);

    ::SetDlgItemTextW(FHandle, IDC_EDITOR_PHONE, FNumber.c_str());
    if (FNumberEditable) ::SendMessageW(Item(IDC_EDITOR_PHONE), EM_SETREADONLY, FALSE, 0);
    ::SetDlgItemTextW(FHandle, IDC_EDITOR_NAME, FName.c_str());
    ::SetDlgItemTextW(FHandle, IDC_EDITOR_COMMENT, FComment.c_str());
}

void TEditorForm::CenterOnDesktop() {
    RECT bounds{};
    ::GetWindowRect(FHandle, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    ::SetWindowPos(FHandle, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TEditorForm::FormShow() {
    // Save waits for a change, whatever the fields hold.
    ::EnableWindow(Item(IDC_EDITOR_SAVE), FALSE);
    if (FNumberEditable && ::GetWindowTextLengthW(Item(IDC_EDITOR_PHONE)) == 0) {
        ::SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_EDITOR_PHONE)), TRUE);
        return;
    }
    const HWND name = Item(IDC_EDITOR_NAME);
    if (::GetWindowTextLengthW(name) == 0) {
        ::SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(name), TRUE);
        return;
    }
    const HWND comment = Item(IDC_EDITOR_COMMENT);
    ::SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(comment), TRUE);
    // The dialog manager selects the whole text on focus; the caret goes to the end instead.
    const int length = ::GetWindowTextLengthW(comment);
    ::SendMessageW(comment, EM_SETSEL, static_cast<WPARAM>(length), length);
    ::SendMessageW(comment, EM_SCROLLCARET, 0, 0);
}

void TEditorForm::FormKeyEnter() {
    const HWND focus = ::GetFocus();
    // The comment takes its own line breaks; a focused button is pressed as usual.
    if (focus == Item(IDC_EDITOR_COMMENT)) return;
    if (focus == Item(IDC_EDITOR_CANCEL)) {
        CancelButtonClick();
        return;
    }
    SaveButtonClick();
}

void TEditorForm::UpdateSaveButton() {
    const bool hasName = !TrimControlChars(WindowText(Item(IDC_EDITOR_NAME))).empty();
    const bool hasNumber = !FNumberEditable || !TrimControlChars(WindowText(Item(IDC_EDITOR_PHONE))).empty();
    ::EnableWindow(Item(IDC_EDITOR_SAVE), hasName && hasNumber ? TRUE : FALSE);
}

void TEditorForm::SaveButtonClick() {
    if (!FIsPreview && FAddEditRow) {
        TSaveDataThread::Start(FAddEditRow, WindowText(Item(IDC_EDITOR_PHONE)), WindowText(Item(IDC_EDITOR_NAME)),
                               WindowText(Item(IDC_EDITOR_COMMENT)), FOnFailed);
    }
    Close();
}

void TEditorForm::Close() {
    if (FHandle) ::DestroyWindow(FHandle);
}

void TEditorForm::ShowError(const std::wstring& text) {
    ::MessageBoxW(FHandle, text.c_str(), LoadResourceString(IDS_EDITOR_ERRORCAPTION, FInstance).c_str(),
                  MB_OK | MB_ICONWARNING);
}
