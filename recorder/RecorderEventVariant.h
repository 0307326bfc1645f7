#pragma once
#include "RecorderEvent.h"

#include <windows.h>
#include <oaidl.h>

// Reads the event record that ReadMessage put into the variant. Anything but a
// one-dimensional byte array of at least a record's size throws AppError: the
// server owes us that much, and we never read past what it sent.
TRecorderEvent ReadRecorderEvent(const VARIANT& message);
