// The simulated recording server as an in-process COM server.
#include "KordavinSdkIds.h"
#include "ModuleFile.h"
#include "SimControlPipe.h"
#include "SimRecorder.h"
#include "UniqueHandle.h"

#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <string>

namespace {

HMODULE g_module = nullptr;

class SimClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory for the process; it never goes away.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            StartSimControlPipe();
            auto* recorder = new SimRecorder();
            const HRESULT hr = recorder->QueryInterface(riid, object);
            recorder->Release();
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

SimClassFactory g_factory;

LONG SetStringValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY raw = nullptr;
    LONG status = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr);
    if (status != ERROR_SUCCESS) return status;
    UniqueRegKey key(raw);
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_KordavinClientW) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

// The control pipe thread runs inside this DLL once started, so it never unloads.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

// Registered machine-wide: Wine does not look at per-user class registrations.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kKordavinClientWClsidText;
    if (SetStringValue(HKEY_CLASSES_ROOT, clsidKey, nullptr, L"Kordavin recording server client (simulated)") !=
            ERROR_SUCCESS ||
        SetStringValue(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, ModuleFileName(g_module)) !=
            ERROR_SUCCESS ||
        SetStringValue(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Both") !=
            ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kKordavinClientWClsidText;
    const LONG status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
