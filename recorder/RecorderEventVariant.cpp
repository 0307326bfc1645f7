#include "RecorderEventVariant.h"

#include "AppError.h"
#include "ComVariant.h"

#include <span>

TRecorderEvent ReadRecorderEvent(const VARIANT& message) {
    if (message.vt != (VT_ARRAY | VT_UI1) || !message.parray)
        throw AppError(L"The recording server sent an event that is not a byte array.");
    SAFEARRAY* array = message.parray;
    if (::SafeArrayGetDim(array) != 1 || ::SafeArrayGetElemsize(array) != 1)
        throw AppError(L"The recording server sent an event that is not a byte array.");
    SafeArrayDataLock lock(array);
    if (FAILED(lock.result()) || !lock.data())
        throw AppError(L"The recording server's event cannot be read.");
    const size_t size = array->rgsabound[0].cElements;
    auto event = DecodeRecorderEvent(std::span(static_cast<const uint8_t*>(lock.data()), size));
    if (!event) throw AppError(L"The recording server sent a short event record.");
    return *event;
}
