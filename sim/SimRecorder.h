#pragma once
#include "SimState.h"

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <memory>

// The simulated SDK object: answers Connect, GetChannelList and ReadMessage by
// DISPID like the recording server's client object, from its own event queue.
class SimRecorder final : public IDispatch {
public:
    SimRecorder();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    static std::atomic<long> LiveObjects;

private:
    ~SimRecorder();
    HRESULT Connect(DISPPARAMS* params, VARIANT* result, UINT* argError);
    HRESULT GetChannelList(DISPPARAMS* params, VARIANT* result, UINT* argError);
    HRESULT ReadMessage(DISPPARAMS* params, VARIANT* result, UINT* argError);

    std::atomic<ULONG> references_{1};
    std::shared_ptr<SimClientQueue> queue_;
};
