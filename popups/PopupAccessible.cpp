#include "PopupAccessible.h"

#include "FormTMWRes.h"
#include "ResourceText.h"
#include "WindowText.h"

#include <new>

namespace {

// Every method stops exceptions here: they must never cross into a screen reader.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

void SetChildId(VARIANT* out, long id) {
    out->vt = VT_I4;
    out->lVal = id;
}

bool Visible(HWND window) { return (::GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace

TPopupAccessible* TPopupAccessible::Create(TPopupAccessSource& source) { return new TPopupAccessible(source); }

HRESULT TPopupAccessible::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    // __uuidof, not IID_IAccessible: mingw's oleacc import library gives that name to a code thunk.
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TPopupAccessible::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG TPopupAccessible::Release() {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT TPopupAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT TPopupAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT TPopupAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT TPopupAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT TPopupAccessible::Resolve(const VARIANT& child, HWND& button) const {
    button = nullptr;
    if (!source_) return RPC_E_DISCONNECTED;
    if (IsSelf(child)) return S_OK;
    if (child.vt != VT_I4 || child.lVal < 1) return E_INVALIDARG;
    const std::vector<HWND> buttons = source_->AccessibleButtons();
    if (static_cast<size_t>(child.lVal) > buttons.size()) return E_INVALIDARG;
    button = buttons[static_cast<size_t>(child.lVal) - 1];
    return S_OK;
}

HRESULT TPopupAccessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    return Guarded([&]() -> HRESULT {
        if (!source_) return RPC_E_DISCONNECTED;
        // The window's own object, where the system has one.
        const HRESULT result =
            ::AccessibleObjectFromWindow(source_->AccessibleWindow(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                         reinterpret_cast<void**>(parent));
        if (FAILED(result)) *parent = nullptr;
        return *parent ? S_OK : S_FALSE;
    });
}

HRESULT TPopupAccessible::get_accChildCount(long* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return Guarded([&]() -> HRESULT {
        if (!source_) return RPC_E_DISCONNECTED;
        *count = static_cast<long>(source_->AccessibleButtons().size());
        return S_OK;
    });
}

HRESULT TPopupAccessible::get_accChild(VARIANT child, IDispatch** dispatch) {
    if (!dispatch) return E_POINTER;
    *dispatch = nullptr;
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        // The buttons are simple elements of this object.
        return button ? S_FALSE : E_INVALIDARG;
    });
}

HRESULT TPopupAccessible::get_accName(VARIANT child, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        return ReturnText(button ? WindowText(button) : source_->AccessibleName(), name);
    });
}

HRESULT TPopupAccessible::get_accValue(VARIANT, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accDescription(VARIANT, BSTR* description) {
    if (!description) return E_POINTER;
    *description = nullptr;
    return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) return E_POINTER;
    ::VariantInit(role);
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        SetChildId(role, button ? ROLE_SYSTEM_PUSHBUTTON : ROLE_SYSTEM_ALERT);
        return S_OK;
    });
}

HRESULT TPopupAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) return E_POINTER;
    ::VariantInit(state);
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        const HWND window = button ? button : source_->AccessibleWindow();
        long flags = button ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_READONLY;
        if (!::IsWindowVisible(window)) flags |= STATE_SYSTEM_INVISIBLE;
        if (!::IsWindowEnabled(window)) flags |= STATE_SYSTEM_UNAVAILABLE;
        if (button && ::GetFocus() == button) flags |= STATE_SYSTEM_FOCUSED;
        SetChildId(state, flags);
        return S_OK;
    });
}

HRESULT TPopupAccessible::get_accHelp(VARIANT, BSTR* help) {
    if (!help) return E_POINTER;
    *help = nullptr;
    return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
    if (!shortcut) return E_POINTER;
    *shortcut = nullptr;
    return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accFocus(VARIANT* focus) {
    if (!focus) return E_POINTER;
    ::VariantInit(focus);
    return Guarded([&]() -> HRESULT {
        if (!source_) return RPC_E_DISCONNECTED;
        const std::vector<HWND> buttons = source_->AccessibleButtons();
        for (size_t i = 0; i < buttons.size(); ++i) {
            if (::GetFocus() != buttons[i]) continue;
            SetChildId(focus, static_cast<long>(i + 1));
            return S_OK;
        }
        return S_FALSE;
    });
}

HRESULT TPopupAccessible::get_accSelection(VARIANT* selection) {
    if (!selection) return E_POINTER;
    ::VariantInit(selection);
    return source_ ? S_FALSE : RPC_E_DISCONNECTED;
}

HRESULT TPopupAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        if (!button) return DISP_E_MEMBERNOTFOUND;
        return ReturnText(LoadResourceString(IDS_TMW_PRESS), action);
    });
}

HRESULT TPopupAccessible::accSelect(long, VARIANT) { return source_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED; }

HRESULT TPopupAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        RECT bounds{};
        if (!::GetWindowRect(button ? button : source_->AccessibleWindow(), &bounds)) return E_FAIL;
        *left = bounds.left;
        *top = bounds.top;
        *width = bounds.right - bounds.left;
        *height = bounds.bottom - bounds.top;
        return S_OK;
    });
}

HRESULT TPopupAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (!end) return E_POINTER;
    ::VariantInit(end);
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(start, button);
        if (FAILED(resolved)) return resolved;
        const long count = static_cast<long>(source_->AccessibleButtons().size());
        long target = 0;
        if (!button) {
            if (direction == NAVDIR_FIRSTCHILD) target = 1;
            if (direction == NAVDIR_LASTCHILD) target = count;
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
            target = start.lVal + 1;
        } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
            target = start.lVal - 1;
        }
        if (target < 1 || target > count) return S_FALSE;
        SetChildId(end, target);
        return S_OK;
    });
}

HRESULT TPopupAccessible::accHitTest(long left, long top, VARIANT* child) {
    if (!child) return E_POINTER;
    ::VariantInit(child);
    return Guarded([&]() -> HRESULT {
        if (!source_) return RPC_E_DISCONNECTED;
        const POINT point{left, top};
        const std::vector<HWND> buttons = source_->AccessibleButtons();
        for (size_t i = 0; i < buttons.size(); ++i) {
            RECT bounds{};
            if (!::GetWindowRect(buttons[i], &bounds) || !::PtInRect(&bounds, point)) continue;
            SetChildId(child, static_cast<long>(i + 1));
            return S_OK;
        }
        RECT bounds{};
        if (!::GetWindowRect(source_->AccessibleWindow(), &bounds) || !::PtInRect(&bounds, point)) return S_FALSE;
        SetChildId(child, CHILDID_SELF);
        return S_OK;
    });
}

HRESULT TPopupAccessible::accDoDefaultAction(VARIANT child) {
    return Guarded([&]() -> HRESULT {
        HWND button = nullptr;
        const HRESULT resolved = Resolve(child, button);
        if (FAILED(resolved)) return resolved;
        if (!button) return DISP_E_MEMBERNOTFOUND;
        if (!Visible(button) || !::IsWindowEnabled(button)) return E_FAIL;
        // Posted: the press runs from the message loop, not inside the screen reader's call.
        const int id = ::GetDlgCtrlID(button);
        return ::PostMessageW(source_->AccessibleWindow(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(button))
                   ? S_OK
                   : E_FAIL;
    });
}

HRESULT TPopupAccessible::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }

HRESULT TPopupAccessible::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }
