#pragma once
#include "RecorderEvent.h"

#include <windows.h>
#include <oaidl.h>

// Reads the event record that ReadMessage put into the variant. The record is
// taken from any one-dimensional array of plain numbers (bytes, 16-bit words, ...),
// held by value or by reference, whose data block holds at least a record's bytes:
// SDK builds differ in how they declare the array, the bytes are the same. Anything
// else (no array, text or object elements, too few bytes) throws AppError, and we
// never read past what the server sent.
TRecorderEvent ReadRecorderEvent(const VARIANT& message);
