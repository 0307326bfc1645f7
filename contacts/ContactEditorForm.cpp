#include "ContactEditorForm.h"

#include "ContactEditorRes.h"
#include "TextTrim.h"
#include "UniqueHandle.h"
#include "WindowPlacement.h"
#include "WindowText.h"

namespace {

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

constexpr TItemText kTexts[] = {
    {IDC_EDITOR_PHONE_LABEL, IDS_EDITOR_PHONE_LABEL},     {IDC_EDITOR_NAME_LABEL, IDS_EDITOR_NAME_LABEL},
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

}  // namespace

TEditorForm::TEditorForm(HINSTANCE instance, bool isPreview, TAddEditRowProc addEditRow, TSaveFailedProc onFailed)
    : TDialogBase(instance, IDS_EDITOR_CAPTION, IDS_EDITOR_ERRORCAPTION),
      FIsPreview(isPreview),
      FAddEditRow(std::move(addEditRow)),
      FOnFailed(std::move(onFailed)) {}

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
    // No owner: the editor outlives the popup it came from and the main window's hiding.
    const HWND window = CreateSelfDeletingDialog(IDD_EDITORFORM, nullptr);
    ::ShowWindow(window, SW_SHOW);
    FormShow();
    return window;
}

INT_PTR TEditorForm::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message != DM_GETDEFID) return FALSE;
    // No default button: Enter always arrives as IDOK, also while Save is disabled.
    ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 0);
    return TRUE;
}

void TEditorForm::OnCommand(int id, UINT code) {
    // Enter, wherever the dialog manager did not give it to the focused control.
    if (id == IDOK) return FormKeyEnter();
    // Escape.
    if (id == IDCANCEL) return CancelButtonClick();
    if (code == EN_CHANGE) {
        if (id == IDC_EDITOR_PHONE) UpdateSaveButton();
        if (id == IDC_EDITOR_NAME) AbonentNameLabeledEditChange();
        if (id == IDC_EDITOR_COMMENT) AbonentCommentMemoChange();
        return;
    }
    if (code != BN_CLICKED) return;
    // Only Enter may save past a disabled button, not a click sent to it.
    if (id == IDC_EDITOR_SAVE && ::IsWindowEnabled(Item(IDC_EDITOR_SAVE))) SaveButtonClick();
    if (id == IDC_EDITOR_CANCEL) CancelButtonClick();
}

bool TEditorForm::OnInit() {
    SetItemTexts(kTexts);
    // Pixel sizes at 96 DPI, scaled to the window's DPI, whatever the dialog
    // units of the template come to.
    SizeClientAndCentre(FHandle, kClientWidth, kClientHeight);

    FFont = CreateFormFont(::GetDpiForWindow(FHandle));
    for (HWND child = ::GetWindow(FHandle, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);

    for (const ControlBounds& bounds : kControls)
        MoveControl(Item(bounds.id), Scaled(bounds.left), Scaled(bounds.top), Scaled(bounds.width),
                    Scaled(bounds.height));
    const int labelHeight = FontLineHeight(FHandle, FFont.get());
    const int phoneLabelTop = Scaled(kControls[0].top - kLabelSpacing) - labelHeight;
    const int nameLabelTop = Scaled(kControls[1].top - kLabelSpacing) - labelHeight;
    MoveControl(Item(IDC_EDITOR_PHONE_LABEL), Scaled(8), phoneLabelTop, Scaled(265), labelHeight);
    MoveControl(Item(IDC_EDITOR_NAME_LABEL), Scaled(9), nameLabelTop, Scaled(265), labelHeight);
    MoveControl(Item(IDC_EDITOR_COMMENT_LABEL), Scaled(8), Scaled(85), Scaled(264), labelHeight);

    ::SetDlgItemTextW(FHandle, IDC_EDITOR_PHONE, FNumber.c_str());
    if (FNumberEditable) ::SendMessageW(Item(IDC_EDITOR_PHONE), EM_SETREADONLY, FALSE, 0);
    ::SetDlgItemTextW(FHandle, IDC_EDITOR_NAME, FName.c_str());
    ::SetDlgItemTextW(FHandle, IDC_EDITOR_COMMENT, FComment.c_str());
    // The focus is chosen once the window is shown.
    return false;
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
