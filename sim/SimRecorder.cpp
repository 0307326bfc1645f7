#include "SimRecorder.h"

#include "KordavinSdkIds.h"

#include <oleauto.h>

#include <cstring>

std::atomic<long> SimRecorder::LiveObjects{0};

namespace {

// Arguments arrive in reverse order: rgvarg[0] is the last one.
VARIANT* Argument(DISPPARAMS* params, UINT position) {
    return &params->rgvarg[params->cArgs - 1 - position];
}

HRESULT CheckArgumentCount(DISPPARAMS* params, UINT expected) {
    if (!params || params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    return params->cArgs == expected ? S_OK : DISP_E_BADPARAMCOUNT;
}

// A by-value argument that can be read as the given type.
HRESULT ReadByValue(DISPPARAMS* params, UINT position, VARTYPE type, UINT* argError) {
    VARIANT copy;
    ::VariantInit(&copy);
    const HRESULT hr = ::VariantChangeType(&copy, Argument(params, position), 0, type);
    ::VariantClear(&copy);
    if (FAILED(hr) && argError) *argError = params->cArgs - 1 - position;
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

void SetResult(VARIANT* result, LONG value) {
    if (!result) return;
    ::VariantInit(result);
    result->vt = VT_I4;
    result->lVal = value;
}

// What a caller sees when the server process has gone away mid-session.
HRESULT VanishedServer(EXCEPINFO* exception) {
    if (exception) {
        std::memset(exception, 0, sizeof(*exception));
        exception->bstrSource = ::SysAllocString(L"Kordavin.ClientW");
        exception->bstrDescription = ::SysAllocString(L"The recording server is not available.");
        exception->scode = RPC_E_DISCONNECTED;
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

SimRecorder::SimRecorder() : queue_(SimState::Instance().AttachClient()) { ++LiveObjects; }

SimRecorder::~SimRecorder() { --LiveObjects; }

HRESULT SimRecorder::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IKordavinClientWDisp) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SimRecorder::AddRef() { return ++references_; }

ULONG SimRecorder::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT SimRecorder::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT SimRecorder::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT SimRecorder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i != 0) {
            hr = DISP_E_UNKNOWNNAME;
            continue;
        }
        if (::lstrcmpiW(names[0], L"Connect") == 0) ids[0] = DISPID_KDV_CONNECT;
        else if (::lstrcmpiW(names[0], L"ReadMessage") == 0) ids[0] = DISPID_KDV_READ_MESSAGE;
        else if (::lstrcmpiW(names[0], L"GetChannelList") == 0) ids[0] = DISPID_KDV_GET_CHANNEL_LIST;
        else hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT SimRecorder::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError) {
    try {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (id != DISPID_KDV_CONNECT && id != DISPID_KDV_READ_MESSAGE && id != DISPID_KDV_GET_CHANNEL_LIST)
            return DISP_E_MEMBERNOTFOUND;
        if (SimState::Instance().Vanished()) return VanishedServer(exception);
        switch (id) {
        case DISPID_KDV_CONNECT: return Connect(params, result, argError);
        case DISPID_KDV_GET_CHANNEL_LIST: return GetChannelList(params, result, argError);
        default: return ReadMessage(params, result, argError);
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT SimRecorder::Connect(DISPPARAMS* params, VARIANT* result, UINT* argError) {
    HRESULT hr = CheckArgumentCount(params, 3);
    if (SUCCEEDED(hr)) hr = ReadByValue(params, 0, VT_I4, argError);
    if (SUCCEEDED(hr)) hr = ReadByValue(params, 1, VT_BSTR, argError);
    if (SUCCEEDED(hr)) hr = ReadByValue(params, 2, VT_BSTR, argError);
    if (FAILED(hr)) return hr;
    SetResult(result, SimState::Instance().TakeConnectResult());
    return S_OK;
}

HRESULT SimRecorder::GetChannelList(DISPPARAMS* params, VARIANT* result, UINT* argError) {
    HRESULT hr = CheckArgumentCount(params, 2);
    if (SUCCEEDED(hr)) hr = ReadByValue(params, 0, VT_I4, argError);
    if (FAILED(hr)) return hr;
    VARIANT* text = Argument(params, 1);
    BSTR* slot = nullptr;
    if (text->vt == (VT_BYREF | VT_BSTR)) {
        slot = text->pbstrVal;
    } else if (text->vt == (VT_BYREF | VT_VARIANT) && text->pvarVal) {
        ::VariantClear(text->pvarVal);
        text->pvarVal->vt = VT_BSTR;
        text->pvarVal->bstrVal = nullptr;
        slot = &text->pvarVal->bstrVal;
    }
    if (!slot) {
        if (argError) *argError = 0;
        return DISP_E_TYPEMISMATCH;
    }
    const std::wstring channels = SimState::Instance().ChannelList();
    ::SysFreeString(*slot);
    *slot = ::SysAllocStringLen(channels.data(), static_cast<UINT>(channels.size()));
    SetResult(result, 0);
    return S_OK;
}

HRESULT SimRecorder::ReadMessage(DISPPARAMS* params, VARIANT* result, UINT* argError) {
    HRESULT hr = CheckArgumentCount(params, 1);
    if (FAILED(hr)) return hr;
    VARIANT* target = Argument(params, 0);
    if (target->vt != (VT_BYREF | VT_VARIANT) || !target->pvarVal) {
        if (argError) *argError = 0;
        return DISP_E_TYPEMISMATCH;
    }
    auto block = SimState::Instance().PopEvent(*queue_);
    if (!block) {
        SetResult(result, 1);
        return S_OK;
    }
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(block->size()));
    if (!array) return E_OUTOFMEMORY;
    void* data = nullptr;
    if (SUCCEEDED(::SafeArrayAccessData(array, &data))) {
        std::memcpy(data, block->data(), block->size());
        ::SafeArrayUnaccessData(array);
    }
    ::VariantClear(target->pvarVal);
    target->pvarVal->vt = VT_ARRAY | VT_UI1;
    target->pvarVal->parray = array;
    SetResult(result, 0);
    return S_OK;
}
