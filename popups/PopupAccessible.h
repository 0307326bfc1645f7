#pragma once
#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

// What the popup's accessible object reads; the popup window implements it.
class TPopupAccessSource {
public:
    virtual HWND AccessibleWindow() const = 0;
    virtual std::wstring AccessibleName() const = 0;
    // The buttons a user can press now, in tab order (hidden ones left out).
    virtual std::vector<HWND> AccessibleButtons() const = 0;

protected:
    ~TPopupAccessSource() = default;
};

// The popup's client area as a screen reader sees it: an alert whose name is
// what the popup shows, with its buttons as children (child IDs 1..n) that can
// be pressed. A screen reader may hold it after the popup is gone: Disconnect
// cuts it from the window, and every call then answers RPC_E_DISCONNECTED.
class TPopupAccessible final : public IAccessible {
public:
    // One reference, the caller's.
    static TPopupAccessible* Create(TPopupAccessSource& source);
    void Disconnect() noexcept { source_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: no type information; screen readers call the methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

private:
    explicit TPopupAccessible(TPopupAccessSource& source) : source_(&source) {}
    ~TPopupAccessible() = default;

    // The button of a child ID, null for the popup itself; E_INVALIDARG for
    // anything else. Fails while disconnected.
    HRESULT Resolve(const VARIANT& child, HWND& button) const;

    LONG references_ = 1;
    // UI thread only, like the window it reads.
    TPopupAccessSource* source_;
};
