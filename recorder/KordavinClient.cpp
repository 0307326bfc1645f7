#include "KordavinClient.h"

#include "AppError.h"
#include "KordavinSdkIds.h"
#include "TextConvert.h"

#include <cstring>
#include <algorithm>
#include <vector>

namespace {

std::wstring HresultText(HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08X", static_cast<unsigned>(hr));
    return SystemErrorText(static_cast<unsigned long>(hr)) + L" (" + code + L")";
}

[[noreturn]] void ThrowDispatchError(HRESULT hr, EXCEPINFO& exception) {
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        std::wstring text = ComBstr::ToWide(exception.bstrDescription);
        const HRESULT inner = exception.scode ? exception.scode : hr;
        ::SysFreeString(exception.bstrSource);
        ::SysFreeString(exception.bstrDescription);
        ::SysFreeString(exception.bstrHelpFile);
        throw AppError(text.empty() ? HresultText(inner) : text);
    }
    throw AppError(HresultText(hr));
}

bool IsThisComputer(const std::wstring& name) {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(buffer, &size) && ::lstrcmpiW(buffer, name.c_str()) == 0) return true;
    wchar_t dnsName[256] = {};
    size = 256;
    return ::GetComputerNameExW(ComputerNameDnsHostname, dnsName, &size) && ::lstrcmpiW(dnsName, name.c_str()) == 0;
}

}  // namespace

int32_t InvokeIntegerMethod(IDispatch* dispatch, DISPID id, VARIANT* args, UINT count) {
    // IDispatch takes its arguments last one first.
    std::vector<VARIANT> reversed(args, args + count);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{count ? reversed.data() : nullptr, nullptr, count, 0};
    ComVariant result;
    EXCEPINFO exception;
    std::memset(&exception, 0, sizeof(exception));
    UINT argError = 0;
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                                        &exception, &argError);
    if (FAILED(hr)) ThrowDispatchError(hr, exception);
    ComVariant number;
    const HRESULT converted = ::VariantChangeType(number.get(), result.get(), 0, VT_I4);
    if (FAILED(converted)) ThrowDispatchError(converted, exception);
    return number.get()->lVal;
}

KordavinClient KordavinClient::Create(const std::wstring& serverName) {
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    HRESULT hr;
    if (serverName.empty() || IsThisComputer(serverName)) {
        hr = ::CoCreateInstance(CLSID_KordavinClientW, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf()));
    } else {
        std::wstring name = serverName;
        COSERVERINFO server{};
        server.pwszName = name.data();
        MULTI_QI query{&IID_IDispatch, nullptr, S_OK};
        hr = ::CoCreateInstanceEx(CLSID_KordavinClientW, nullptr, CLSCTX_REMOTE_SERVER, &server, 1, &query);
        if (SUCCEEDED(hr)) hr = query.hr;
        if (SUCCEEDED(hr)) dispatch.Attach(static_cast<IDispatch*>(query.pItf));
    }
    if (FAILED(hr)) throw AppError(HresultText(hr));
    if (!dispatch) throw AppError(HresultText(E_NOINTERFACE));
    return KordavinClient(std::move(dispatch));
}

int32_t KordavinClient::Connect() {
    ComBstr empty1(L""), empty2(L"");
    VARIANT args[3];
    for (auto& arg : args) ::VariantInit(&arg);
    args[0].vt = VT_I4;
    args[0].lVal = 0;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = empty1.get();
    args[2].vt = VT_BSTR;
    args[2].bstrVal = empty2.get();
    return InvokeIntegerMethod(dispatch_.Get(), DISPID_KDV_CONNECT, args, 3);
}

int32_t KordavinClient::GetChannelList(std::wstring& channels) {
    ComBstr text(L"");
    VARIANT args[2];
    for (auto& arg : args) ::VariantInit(&arg);
    args[0].vt = VT_I4;
    args[0].lVal = 2;
    args[1].vt = VT_BYREF | VT_BSTR;
    args[1].pbstrVal = text.receive();
    *args[1].pbstrVal = ::SysAllocString(L"");
    const int32_t result = InvokeIntegerMethod(dispatch_.Get(), DISPID_KDV_GET_CHANNEL_LIST, args, 2);
    if (result == 0) channels = text.text();
    return result;
}

int32_t KordavinClient::ReadMessage(ComVariant& message) {
    message.clear();
    VARIANT arg;
    ::VariantInit(&arg);
    arg.vt = VT_BYREF | VT_VARIANT;
    arg.pvarVal = message.get();
    return InvokeIntegerMethod(dispatch_.Get(), DISPID_KDV_READ_MESSAGE, &arg, 1);
}
