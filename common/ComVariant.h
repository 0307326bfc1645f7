#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

// A VARIANT that clears itself.
class ComVariant {
public:
    ComVariant() noexcept { ::VariantInit(&value_); }
    ~ComVariant() { ::VariantClear(&value_); }
    ComVariant(const ComVariant&) = delete;
    ComVariant& operator=(const ComVariant&) = delete;

    VARIANT* get() noexcept { return &value_; }
    const VARIANT* get() const noexcept { return &value_; }
    VARIANT* operator&() noexcept { return &value_; }
    void clear() noexcept { ::VariantClear(&value_); }

private:
    VARIANT value_;
};

// A BSTR that frees itself.
class ComBstr {
public:
    ComBstr() noexcept = default;
    explicit ComBstr(std::wstring_view text);
    ~ComBstr() { ::SysFreeString(value_); }
    ComBstr(const ComBstr&) = delete;
    ComBstr& operator=(const ComBstr&) = delete;

    BSTR get() const noexcept { return value_; }
    // For [out] parameters: frees the old string and hands out the slot.
    BSTR* receive() noexcept;
    std::wstring text() const { return ToWide(value_); }

    static std::wstring ToWide(BSTR value) {
        return value ? std::wstring(value, ::SysStringLen(value)) : std::wstring();
    }

private:
    BSTR value_ = nullptr;
};

// Locks a SAFEARRAY's data for as long as the object lives.
class SafeArrayDataLock {
public:
    explicit SafeArrayDataLock(SAFEARRAY* array);
    ~SafeArrayDataLock();
    SafeArrayDataLock(const SafeArrayDataLock&) = delete;
    SafeArrayDataLock& operator=(const SafeArrayDataLock&) = delete;

    const void* data() const noexcept { return data_; }
    HRESULT result() const noexcept { return result_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
    HRESULT result_;
};
