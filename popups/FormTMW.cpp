// The popup window (TTMWForm): one call's caller on the screen.
#include "FormTMW.h"

#include "AppError.h"
#include "ClipboardText.h"
#include "FormTMWRes.h"
#include "ControlsStartup.h"
#include "ExceptionText.h"
#include "PopupLayout.h"
#include "PopupSpokenText.h"
#include "ResourceText.h"
#include "TextConvert.h"
#include "resource.h"

#include <commctrl.h>
#include <richedit.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>

namespace {

constexpr wchar_t kClassName[] = L"KordavinTMWForm";
constexpr UINT_PTR kSlideTimer = 1;
// Posted after a change of the title or text: a refresh is many changes, one name change.
constexpr UINT kCheckSpokenName = WM_APP + 1;
constexpr UINT kSlideIntervalMs = 10;
constexpr BYTE kOpacity = 223;
constexpr COLORREF kBackground = RGB(96, 192, 255);
constexpr COLORREF kFrameBlue = RGB(0, 146, 220);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kStripTop = RGB(202, 234, 255);
constexpr COLORREF kGlyphInk = RGB(64, 64, 64);
constexpr int kDesignSize = 200;
// The copy button's glyph, in pixels at 96 DPI.
constexpr int kGlyphSize = 13;
constexpr int kFontHeight = 11;
// A popup shows a call, not a document; this bounds the work on absurd input.
constexpr LPARAM kMaxInfoChars = 1 << 20;

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

[[noreturn]] void ThrowLastError(const wchar_t* what) {
    const DWORD code = ::GetLastError();
    std::wstring message = what;
    if (code != 0) message += L": " + SystemErrorText(code);
    throw AppError(message);
}

void CopyFaceName(wchar_t (&target)[LF_FACESIZE], std::wstring_view face) {
    const size_t length = face.copy(target, LF_FACESIZE - 1);
    target[length] = L'\0';
}

UniqueGdiObject CreateTahoma(bool bold, int dpi) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(kFontHeight, dpi, USER_DEFAULT_SCREEN_DPI);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    CopyFaceName(font.lfFaceName, L"Tahoma");
    return UniqueGdiObject(::CreateFontIndirectW(&font));
}

void FrameRectangle(HDC dc, RECT rect, COLORREF colour) {
    UniqueGdiObject brush(::CreateSolidBrush(colour));
    ::FrameRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

void FillRectangle(HDC dc, RECT rect, COLORREF colour) {
    UniqueGdiObject brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

TRIVERTEX Vertex(LONG x, LONG y, COLORREF colour) {
    TRIVERTEX vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = static_cast<COLOR16>(GetRValue(colour) << 8);
    vertex.Green = static_cast<COLOR16>(GetGValue(colour) << 8);
    vertex.Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
    return vertex;
}

// The title is one line: line breaks and other control characters would show as boxes.
std::wstring SingleLine(std::wstring text) {
    std::replace_if(text.begin(), text.end(), [](wchar_t c) { return c < L' '; }, L' ');
    return text;
}

CHARFORMAT2W CharFormatOf(const TTMWFont& font) {
    const LOGFONTW logFont = font.ToLogFont();
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_COLOR |
                    CFM_CHARSET;
    format.dwEffects = (font.Bold ? CFE_BOLD : 0) | (font.Italic ? CFE_ITALIC : 0) |
                       (font.Underline ? CFE_UNDERLINE : 0) | (font.StrikeOut ? CFE_STRIKEOUT : 0);
    format.yHeight = std::clamp(font.Size, 1, TTMWFont::kMaxPointSize) * 20;
    format.crTextColor = font.Color;
    format.bCharSet = font.Charset;
    CopyFaceName(format.szFaceName, logFont.lfFaceName);
    return format;
}

// Plain text into a rich-text control: text that starts like RTF stays text.
struct TextStream {
    const BYTE* data;
    size_t bytesLeft;
};

DWORD CALLBACK ReadTextStream(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
    auto* stream = reinterpret_cast<TextStream*>(cookie);
    // Whole UTF-16 units only, and never a CR LF pair cut in two: the control
    // would read the halves as two line breaks.
    size_t chunk = std::min(stream->bytesLeft, static_cast<size_t>(size) & ~size_t{1});
    if (chunk >= 2 * sizeof(wchar_t) && chunk < stream->bytesLeft) {
        wchar_t last;
        std::memcpy(&last, stream->data + chunk - sizeof(wchar_t), sizeof(wchar_t));
        if (last == L'\r') chunk -= sizeof(wchar_t);
    }
    std::memcpy(buffer, stream->data, chunk);
    stream->data += chunk;
    stream->bytesLeft -= chunk;
    *done = static_cast<LONG>(chunk);
    return 0;
}

LONG RichTextLength(HWND richEdit) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(::SendMessageW(richEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

void ReportError(const std::wstring& message) {
    ::MessageBoxW(nullptr, message.c_str(), LoadResourceString(IDS_TMW_ERRORCAPTION).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

TTMWForm* TTMWForm::Create(TTickSource tickSource) {
    const HINSTANCE instance = ModuleInstance();
    EnsureRichEditLoaded();
    EnsureCommonControls();
    if (!RegisterWindowClass(instance, kClassName, CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW),
                             nullptr))
        ThrowLastError(L"RegisterClassEx");

    auto* form = new TTMWForm();
    form->FTickSource = std::move(tickSource);
    form->FTextFont.Name = L"Tahoma";
    form->FTextFont.Size = 8;
    // No owner (it must not follow the main window) and no task-bar button.
    form->CreateSelfDeletingWindow(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"TMWForm",
                                   WS_POPUP | WS_CLIPCHILDREN, 0, 0, kDesignSize, kDesignSize, nullptr, instance);
    return form;
}

void TTMWForm::Free() {
    if (FHandle) ::DestroyWindow(FHandle);
}

void TTMWForm::Close() {
    if (FHandle) ::PostMessageW(FHandle, WM_CLOSE, 0, 0);
}

void TTMWForm::OnError(const std::wstring& text) { ReportError(text); }

INT_PTR TTMWForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return FormCreate(FHandle) ? 0 : -1;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        FormPaint();
        return 0;
    case WM_SIZE:
        LayoutChildren();
        return 0;
    case WM_DPICHANGED:
        // Placed on a monitor of another DPI: the manager has sized it for that
        // monitor already, so only the fonts and the parts follow.
        ApplyDpiFonts();
        LayoutChildren();
        ::InvalidateRect(FHandle, nullptr, TRUE);
        return 0;
    case WM_TIMER:
        if (wParam != kSlideTimer) break;
        TimerTimer();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        FormMouseDown(message, wParam, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEMOVE:
        FormMouseMove({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
        FormMouseUp(message);
        return 0;
    case WM_CAPTURECHANGED:
        FMoved = false;
        return 0;
    case WM_COMMAND:
        if (!OnCommand(LOWORD(wParam), HIWORD(wParam))) break;
        return 0;
    case WM_DRAWITEM:
        if (wParam != IDC_TMW_COPY) break;
        DrawCopyButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CONTEXTMENU:
        // The text area's own request closes the popup before it gets here.
        ShowContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(FBackgroundBrush.get());
    case WM_GETOBJECT:
        // The popup is painted, so the system's own object for it would carry
        // no text (and Wine has none at all): the popup answers for itself.
        if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) return GetAccessibleObject(wParam);
        break;
    case kCheckSpokenName:
        AnnounceNameChange();
        return 0;
    case WM_CLOSE:
        // Closing frees the popup; it is never merely hidden.
        ::DestroyWindow(FHandle);
        return 0;
    case WM_NCDESTROY: {
        // FormDestroy lets go of the handle; the default handling still needs it.
        const HWND window = FHandle;
        FormDestroy();
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    }
    return DefaultProc(message, wParam, lParam);
}

bool TTMWForm::OnCommand(int id, UINT code) {
    // Buttons send BN_CLICKED, the context menu 0: the same value.
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_TMW_COPY: btnCopyClick(); return true;
    case IDC_TMW_EDITDATA: EditDataButtonClick(); return true;
    case IDC_TMW_OPENCRM:
    case IDM_TMW_OPENCRM: CrmButtonClick(); return true;
    case IDC_TMW_CALLBACK:
    case IDM_TMW_CALLBACK: CallbackButtonClick(); return true;
    case IDM_TMW_EDITDATA: EditDataButtonClick(); return true;
    case IDM_TMW_CLOSE: Close(); return true;
    default: return false;
    }
}

bool TTMWForm::FormCreate(HWND window) {
    FFirstTick = true;
    if (!::SetLayeredWindowAttributes(window, 0, kOpacity, LWA_ALPHA)) return false;
    const int dpi = static_cast<int>(::GetDpiForWindow(window));
    FFormFont = CreateTahoma(false, dpi);
    FTitleFont = CreateTahoma(true, dpi);
    FBackgroundBrush.reset(::CreateSolidBrush(kBackground));
    const RECT icon = PopupParts(0, 0, dpi, false).Icon;
    FIcon = static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON,
                                            icon.right - icon.left, icon.bottom - icon.top, LR_SHARED));

    const HINSTANCE instance = ModuleInstance();
    // Created first: first in tab order.
    FEditDataButton = ::CreateWindowExW(0, L"BUTTON", LoadResourceString(IDS_TMW_EDITDATA).c_str(),
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 0, 0,
                                        0, 0, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TMW_EDITDATA)), instance,
                                        nullptr);
    // Hidden until calling back is on and the call has a number.
    FCallbackButton = ::CreateWindowExW(0, L"BUTTON", LoadResourceString(IDS_TMW_CALLBACK).c_str(),
                                        WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 0, 0, 0, 0, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TMW_CALLBACK)), instance,
                                        nullptr);
    // Hidden until the CRM link is on and the call has a number.
    FCrmButton = ::CreateWindowExW(0, L"BUTTON", LoadResourceString(IDS_TMW_OPENCRM).c_str(),
                                   WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 0, 0, 0, 0,
                                   window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TMW_OPENCRM)), instance, nullptr);
    FInfoRichEdit = ::CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | ES_MULTILINE | ES_READONLY, 0, 0,
                                      0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TMW_INFO)),
                                      instance, nullptr);
    // The white panel under the copy button is the button's own background. It
    // draws no text; its text is what screen readers call it.
    FCopyButton = ::CreateWindowExW(0, L"BUTTON", LoadResourceString(IDS_TMW_COPYHINT).c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_OWNERDRAW, 0, 0, 0, 0,
                                    window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TMW_COPY)), instance, nullptr);
    if (!FEditDataButton || !FCrmButton || !FCallbackButton || !FInfoRichEdit || !FCopyButton) return false;
    // The copy button lies over the text area's right edge.
    ::SetWindowPos(FCopyButton, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    for (HWND button : {FEditDataButton, FCrmButton, FCallbackButton})
        ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(FFormFont.get()), FALSE);
    ::SendMessageW(FInfoRichEdit, EM_SETBKGNDCOLOR, 0, kWhite);
    ::SendMessageW(FInfoRichEdit, EM_SETTARGETDEVICE, 0, 0);  // wrap at the control's width
    ::SendMessageW(FInfoRichEdit, EM_EXLIMITTEXT, 0, kMaxInfoChars);
    ::SendMessageW(FInfoRichEdit, EM_SETEVENTMASK, 0, 0);
    ApplyTextFont();
    ::SetWindowSubclass(FInfoRichEdit, InfoSubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
    ::SetWindowSubclass(FCopyButton, CopySubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));

    // The popup is never active, so the hint must show for inactive windows too.
    FCopyHint = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance,
                                  nullptr);
    if (FCopyHint) {
        std::wstring hint = LoadResourceString(IDS_TMW_COPYHINT);
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(FCopyButton);
        tool.lpszText = hint.data();
        ::SendMessageW(FCopyHint, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    FTimerRunning = ::SetTimer(window, kSlideTimer, kSlideIntervalMs, nullptr) != 0;
    LayoutChildren();
    return true;
}

void TTMWForm::ApplyDpiFonts() {
    const int dpi = static_cast<int>(::GetDpiForWindow(FHandle));
    UniqueGdiObject formFont = CreateTahoma(false, dpi);
    UniqueGdiObject titleFont = CreateTahoma(true, dpi);
    if (!formFont || !titleFont) return;
    for (HWND button : {FEditDataButton, FCrmButton, FCallbackButton})
        if (button) ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(formFont.get()), TRUE);
    FFormFont = std::move(formFont);
    FTitleFont = std::move(titleFont);
}

void TTMWForm::FormDestroy() {
    const HWND window = FHandle;
    FTimerRunning = false;
    FHandle = nullptr;
    FInfoRichEdit = FEditDataButton = FCrmButton = FCallbackButton = FCopyButton = FCopyHint = nullptr;
    // A screen reader may keep the object; from now on it answers that the popup is gone.
    if (FAccessible) FAccessible->Disconnect();
    FAccessible.Reset();
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    // Taken out first: whatever the handler does, it runs once.
    TNotifyEvent handler = std::move(OnTMWDestroy);
    OnTMWDestroy = nullptr;
    if (handler) handler(this);
}

int TTMWForm::Scaled(int pixels) const {
    return ::MulDiv(pixels, static_cast<int>(::GetDpiForWindow(FHandle)), USER_DEFAULT_SCREEN_DPI);
}

TPopupParts TTMWForm::Parts() const {
    RECT client{};
    ::GetClientRect(FHandle, &client);
    return PopupParts(client.right, client.bottom, static_cast<int>(::GetDpiForWindow(FHandle)), CrmButtonShown(),
                      CallbackButtonShown());
}

void TTMWForm::LayoutChildren() {
    const TPopupParts parts = Parts();
    const auto place = [](HWND control, const RECT& rect) {
        if (control)
            ::MoveWindow(control, rect.left, rect.top, std::max(0L, rect.right - rect.left),
                         std::max(0L, rect.bottom - rect.top), TRUE);
    };
    place(FInfoRichEdit, parts.Info);
    place(FCopyButton, parts.Copy);
    place(FEditDataButton, parts.EditData);
    if (CrmButtonShown()) place(FCrmButton, parts.Crm);
    if (CallbackButtonShown()) place(FCallbackButton, parts.Callback);
}

// The button's own state: the popup itself may still be hidden.
bool TTMWForm::CrmButtonShown() const {
    return FCrmButton && (::GetWindowLongPtrW(FCrmButton, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool TTMWForm::CallbackButtonShown() const {
    return FCallbackButton && (::GetWindowLongPtrW(FCallbackButton, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TTMWForm::UpdateCrmButton() {
    if (!FCrmButton || !FCallbackButton) return;
    const bool hasNumber = HasCallNumber(Caller.Number);
    const bool crm = OnOpenCrm && hasNumber;
    const bool callback = OnCallBack && hasNumber;
    if (crm == CrmButtonShown() && callback == CallbackButtonShown()) return;
    ::ShowWindow(FCrmButton, crm ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(FCallbackButton, callback ? SW_SHOWNA : SW_HIDE);
    LayoutChildren();
}

void TTMWForm::ShowContextMenu(POINT at) {
    // Without calling back or a CRM card the menu would offer only what the
    // popup's own button does: the right click stays without effect.
    if (!FHandle || (!CallbackButtonShown() && !CrmButtonShown())) return;
    if (at.x == -1 && at.y == -1) {
        RECT bounds = BoundsRect();
        at = {bounds.left, bounds.top};
    }
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    if (CallbackButtonShown())
        ::AppendMenuW(menu.get(), MF_STRING, IDM_TMW_CALLBACK, LoadResourceString(IDS_TMW_CALLBACK).c_str());
    ::AppendMenuW(menu.get(), MF_STRING, IDM_TMW_EDITDATA, LoadResourceString(IDS_TMW_EDITDATA).c_str());
    if (CrmButtonShown())
        ::AppendMenuW(menu.get(), MF_STRING, IDM_TMW_OPENCRM, LoadResourceString(IDS_TMW_OPENCRM).c_str());
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.get(), MF_STRING, IDM_TMW_CLOSE, LoadResourceString(IDS_TMW_CLOSE).c_str());
    // The chosen item arrives as WM_COMMAND, as from any menu.
    ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, at.x, at.y, 0, FHandle, nullptr);
}

void TTMWForm::FormPaint() {
    PAINTSTRUCT paint;
    const HDC target = ::BeginPaint(FHandle, &paint);
    RECT client{};
    ::GetClientRect(FHandle, &client);
    const int w = client.right;
    const int h = client.bottom;
    if (target && w > 0 && h > 0) {
        // Drawn off screen first, so that the slide does not flicker.
        UniqueMemoryDC memory(::CreateCompatibleDC(target));
        UniqueGdiObject bitmap(::CreateCompatibleBitmap(target, w, h));
        if (memory && bitmap) {
            const HDC dc = memory.get();
            SelectedObject selectedBitmap(dc, bitmap.get());
            FillRectangle(dc, client, kBackground);
            FrameRectangle(dc, client, kFrameBlue);
            FrameRectangle(dc, {1, 1, w - 1, h - 1}, kWhite);
            const TPopupParts parts = Parts();
            RECT frame = parts.InnerFrame;
            FrameRectangle(dc, frame, kFrameBlue);
            ::InflateRect(&frame, -1, -1);
            FrameRectangle(dc, frame, kWhite);

            TRIVERTEX strip[2] = {Vertex(2, 2, kStripTop), Vertex(w - 2, parts.TitleStripBottom, kBackground)};
            GRADIENT_RECT stripRect{0, 1};
            ::GradientFill(dc, strip, 2, &stripRect, 1, GRADIENT_FILL_RECT_V);

            if (FIcon)
                ::DrawIconEx(dc, parts.Icon.left, parts.Icon.top, FIcon, parts.Icon.right - parts.Icon.left,
                             parts.Icon.bottom - parts.Icon.top, 0, nullptr, DI_NORMAL);
            const std::wstring title = SingleLine(FTitle);
            RECT titleRect = parts.Title;
            SelectedObject selectedFont(dc, FTitleFont.get());
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &titleRect,
                        DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
            ::BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
        }
    }
    ::EndPaint(FHandle, &paint);
}

void TTMWForm::DrawCopyButton(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    const RECT rect = item.rcItem;
    FillRectangle(dc, rect, kWhite);
    // Two overlapping pages.
    const int glyph = Scaled(kGlyphSize);
    const int x = rect.left + (rect.right - rect.left - glyph) / 2;
    const int y = rect.top + (rect.bottom - rect.top - glyph) / 2;
    const RECT backPage{x, y, x + Scaled(9), y + Scaled(10)};
    const RECT frontPage{x + Scaled(4), y + Scaled(3), x + glyph, y + glyph};
    FrameRectangle(dc, backPage, kGlyphInk);
    FillRectangle(dc, frontPage, kWhite);
    FrameRectangle(dc, frontPage, kGlyphInk);
    for (int line = 0; line < 3; ++line) FillRectangle(dc, {x + 6, y + 6 + 2 * line, x + 11, y + 7 + 2 * line}, kGlyphInk);

    // A flat button shows its edge only under the pointer.
    RECT edge = rect;
    if (item.itemState & ODS_SELECTED)
        ::DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
    else if (FCopyHot)
        ::DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
}

LRESULT CALLBACK TTMWForm::InfoSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR refData) {
    switch (message) {
    case WM_CONTEXTMENU:
        // No menu: the request closes the popup, after this message.
        reinterpret_cast<TTMWForm*>(refData)->Close();
        return 0;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(window, InfoSubclassProc, id);
        break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TTMWForm::CopySubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR refData) {
    auto* form = reinterpret_cast<TTMWForm*>(refData);
    switch (message) {
    case WM_MOUSEMOVE:
        if (!form->FCopyHot) {
            form->FCopyHot = true;
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
            ::TrackMouseEvent(&track);
            ::InvalidateRect(window, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        form->FCopyHot = false;
        ::InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(window, CopySubclassProc, id);
        break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

void TTMWForm::SetTitle(const std::wstring& value) {
    if (FTitle == value) return;
    FTitle = value;
    if (FHandle) {
        // The caption is painted, but the window text carries it too, for
        // screen readers and for tools that look at the popup from outside.
        ::SetWindowTextW(FHandle, FTitle.c_str());
        RECT strip{0, 0, 0, Parts().TitleStripBottom};
        RECT client{};
        ::GetClientRect(FHandle, &client);
        strip.right = client.right;
        ::InvalidateRect(FHandle, &strip, FALSE);
    }
    SpokenTextChanged();
}

void TTMWForm::SetTextFont(const TTMWFont& font) {
    FTextFont = font;
    ApplyTextFont();
}

void TTMWForm::ApplyTextFont() {
    if (!FInfoRichEdit) return;
    // Wine's rich edit starts with a bold System font: the font goes in first.
    const LOGFONTW logFont = FTextFont.ToLogFont();
    UniqueGdiObject font(::CreateFontIndirectW(&logFont));
    if (font) {
        ::SendMessageW(FInfoRichEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        FInfoFont = std::move(font);
    }
    CHARFORMAT2W format = CharFormatOf(FTextFont);
    ::SendMessageW(FInfoRichEdit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(FInfoRichEdit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    ::InvalidateRect(FInfoRichEdit, nullptr, TRUE);
}

void TTMWForm::ReplaceSelection(const std::wstring& text) {
    TextStream source{reinterpret_cast<const BYTE*>(text.data()), text.size() * sizeof(wchar_t)};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = ReadTextStream;
    ::SendMessageW(FInfoRichEdit, EM_STREAMIN, SF_TEXT | SF_UNICODE | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
}

void TTMWForm::AddRichInfoLine(const std::wstring& line, bool isBold) {
    if (!FInfoRichEdit) return;
    ::SendMessageW(FInfoRichEdit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    const LONG start = RichTextLength(FInfoRichEdit);
    ReplaceSelection(line + L"\r\n");
    const LONG end = RichTextLength(FInfoRichEdit);

    // Bold or regular, nothing else, on exactly the inserted text.
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = isBold ? CFE_BOLD : 0;
    CHARRANGE inserted{start, end};
    ::SendMessageW(FInfoRichEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&inserted));
    ::SendMessageW(FInfoRichEdit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(FInfoRichEdit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SpokenTextChanged();
}

void TTMWForm::SetInfoText(const std::wstring& text) {
    if (!FInfoRichEdit) return;
    ::SetWindowTextW(FInfoRichEdit, L"");
    if (!text.empty()) ReplaceSelection(text);
    CHARFORMAT2W format = CharFormatOf(FTextFont);
    ::SendMessageW(FInfoRichEdit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(FInfoRichEdit, EM_SETSEL, 0, 0);
    SpokenTextChanged();
}

std::wstring TTMWForm::InfoText() const {
    if (!FInfoRichEdit) return {};
    GETTEXTLENGTHEX query{GTL_USECRLF | GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT length =
        ::SendMessageW(FInfoRichEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_USECRLF;
    get.codepage = 1200;
    const LRESULT copied =
        ::SendMessageW(FInfoRichEdit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return text;
}

void TTMWForm::SetBounds(int left, int top, int width, int height) {
    ::SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TTMWForm::SetPosition(int left, int top) {
    ::SetWindowPos(FHandle, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TTMWForm::BoundsRect() const {
    RECT rect{};
    if (FHandle) ::GetWindowRect(FHandle, &rect);
    return rect;
}

void TTMWForm::ShowNoActivate() {
    const bool wasVisible = ::IsWindowVisible(FHandle) != FALSE;
    // Shown on top of the topmost band without taking the focus from the user's program.
    ::SetWindowPos(FHandle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (wasVisible) return;
    // The focus stays elsewhere, so a screen reader learns of the call only from this.
    FSpokenName = AccessibleName();
    ::NotifyWinEvent(EVENT_SYSTEM_ALERT, FHandle, OBJID_CLIENT, CHILDID_SELF);
}

std::wstring TTMWForm::AccessibleName() const { return PopupSpokenText(FTitle, InfoText()); }

std::vector<HWND> TTMWForm::AccessibleButtons() const {
    std::vector<HWND> buttons;
    if (FEditDataButton) buttons.push_back(FEditDataButton);
    if (CallbackButtonShown()) buttons.push_back(FCallbackButton);
    if (CrmButtonShown()) buttons.push_back(FCrmButton);
    if (FCopyButton) buttons.push_back(FCopyButton);
    return buttons;
}

LRESULT TTMWForm::GetAccessibleObject(WPARAM flags) {
    if (!FAccessible) FAccessible.Attach(TPopupAccessible::Create(*this));
    return ::LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(FAccessible.Get()));
}

void TTMWForm::SpokenTextChanged() {
    if (!FHandle || FNameCheckPosted) return;
    FNameCheckPosted = ::PostMessageW(FHandle, kCheckSpokenName, 0, 0) != FALSE;
}

void TTMWForm::AnnounceNameChange() {
    FNameCheckPosted = false;
    // A hidden popup is announced as a whole when it appears.
    if (!FHandle || !::IsWindowVisible(FHandle)) return;
    std::wstring name = AccessibleName();
    if (name == FSpokenName) return;
    FSpokenName = std::move(name);
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, FHandle, OBJID_CLIENT, CHILDID_SELF);
}

uint32_t TTMWForm::Now() const { return FTickSource ? FTickSource() : static_cast<uint32_t>(::GetTickCount()); }

void TTMWForm::TimerTimer() {
    if (!FTimerRunning || !FHandle) return;
    if (FFirstTick) {
        // The slide starts wherever the window stands at its first tick.
        FFirstTick = false;
        const RECT start = BoundsRect();
        FXLeng = EndLeft - start.left;
        FYLeng = EndTop - start.top;
        FTickFirst = Now();
    }
    const uint32_t elapsed = Now() - FTickFirst;  // unsigned: survives the counter's wrap
    const POINT place = SlidePosition({EndLeft, EndTop}, FXLeng, FYLeng, elapsed);
    SetPosition(place.x, place.y);
    const RECT now = BoundsRect();
    // Also stops should the system refuse the final place.
    if ((now.left == EndLeft && now.top == EndTop) || elapsed >= kSlideDurationMs) {
        ::KillTimer(FHandle, kSlideTimer);
        FTimerRunning = false;
    }
}

void TTMWForm::FormMouseDown(UINT message, WPARAM, POINT pointer) {
    // Only the left button on the title strip (the label and the icon lie inside it).
    if (message != WM_LBUTTONDOWN || pointer.y > Parts().TitleStripBottom) return;
    FMoved = true;
    FX = pointer.x;
    FY = pointer.y;
    ::SetCapture(FHandle);
}

void TTMWForm::FormMouseMove(POINT pointer) {
    if (!FMoved) return;
    const RECT bounds = BoundsRect();
    SetPosition(bounds.left + pointer.x - FX, bounds.top + pointer.y - FY);
}

void TTMWForm::FormMouseUp(UINT message) {
    if (message != WM_LBUTTONUP) return;
    FMoved = false;
    if (::GetCapture() == FHandle) ::ReleaseCapture();
}

void TTMWForm::btnCopyClick() {
    if (!PutClipboardText(FHandle, ClipText)) ::MessageBeep(MB_ICONWARNING);
}

void TTMWForm::CrmButtonClick() {
    const TOpenCrmEvent handler = OnOpenCrm;
    if (handler && HasCallNumber(Caller.Number)) handler(Caller, Channel);
}

void TTMWForm::CallbackButtonClick() {
    const TOpenCrmEvent handler = OnCallBack;
    if (handler && HasCallNumber(Caller.Number)) handler(Caller, Channel);
}

void TTMWForm::EditDataButtonClick() {
    const TEditDataEvent handler = OnEditData;
    if (handler) handler(Caller, IsPreview);
}
