#pragma once
#include "ComVariant.h"
#include "RecorderSdk.h"

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>

// The recording server's client SDK object, reached only through late-bound
// IDispatch calls by DISPID. Every failure is thrown as an AppError whose
// message is the text the user should see.
class KordavinClient final : public IRecorderSdk {
public:
    // Creates the object on this computer (empty name, or this computer's own
    // name) or on the named computer.
    static KordavinClient Create(const std::wstring& serverName);
    explicit KordavinClient(Microsoft::WRL::ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

    int32_t Connect();
    // Returns the call's result; on 0 the text holds the channel names joined by "|".
    int32_t GetChannelList(std::wstring& channels);
    // Returns the call's result; on 0 the variant holds one event record.
    int32_t ReadMessage(ComVariant& message) override;

    IDispatch* get() const noexcept { return dispatch_.Get(); }

private:
    Microsoft::WRL::ComPtr<IDispatch> dispatch_;
};

// Calls a method by DISPID. args are in call order; the result must be an integer.
int32_t InvokeIntegerMethod(IDispatch* dispatch, DISPID id, VARIANT* args, UINT count);
