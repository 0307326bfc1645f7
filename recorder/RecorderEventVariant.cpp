#include "RecorderEventVariant.h"

#include "AppError.h"
#include "ComVariant.h"

#include <span>

namespace {

[[noreturn]] void ThrowNotARecord() {
    throw AppError(L"The recording server sent an event that is not a byte array.");
}

// Element types whose array data is the elements' own bytes. Texts, variants,
// records and objects hold pointers: their bytes mean nothing here.
bool HoldsPlainNumbers(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL: case VT_ERROR:
        return true;
    default:
        return false;
    }
}

// The array the variant holds, by value or by reference (also behind one
// variant passed by reference); null when it holds no array of plain numbers.
SAFEARRAY* PlainArrayOf(const VARIANT& message, bool mayFollowVariant = true) {
    if (message.vt == (VT_BYREF | VT_VARIANT))
        return mayFollowVariant && message.pvarVal ? PlainArrayOf(*message.pvarVal, false) : nullptr;
    if (!(message.vt & VT_ARRAY) || !HoldsPlainNumbers(message.vt & VT_TYPEMASK)) return nullptr;
    if (message.vt & VT_BYREF) return message.pparray ? *message.pparray : nullptr;
    return message.parray;
}

constexpr USHORT kPointerElements = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;

}  // namespace

TRecorderEvent ReadRecorderEvent(const VARIANT& message) {
    SAFEARRAY* array = PlainArrayOf(message);
    if (!array || ::SafeArrayGetDim(array) != 1 || (array->fFeatures & kPointerElements)) ThrowNotARecord();
    const size_t elementSize = ::SafeArrayGetElemsize(array);
    if (elementSize == 0) ThrowNotARecord();
    SafeArrayDataLock lock(array);
    if (FAILED(lock.result()) || !lock.data()) throw AppError(L"The recording server's event cannot be read.");
    const size_t size = static_cast<size_t>(array->rgsabound[0].cElements) * elementSize;
    auto event = DecodeRecorderEvent(std::span(static_cast<const uint8_t*>(lock.data()), size));
    if (!event) throw AppError(L"The recording server sent a short event record.");
    return *event;
}
