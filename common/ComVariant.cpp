#include "ComVariant.h"

ComBstr::ComBstr(std::wstring_view text)
    : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

BSTR* ComBstr::receive() noexcept {
    ::SysFreeString(value_);
    value_ = nullptr;
    return &value_;
}

SafeArrayDataLock::SafeArrayDataLock(SAFEARRAY* array)
    : array_(array), result_(array ? ::SafeArrayAccessData(array, &data_) : E_POINTER) {}

SafeArrayDataLock::~SafeArrayDataLock() {
    if (SUCCEEDED(result_)) ::SafeArrayUnaccessData(array_);
}
