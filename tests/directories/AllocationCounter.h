#pragma once
#include <cstddef>

// The bytes this test program holds through operator new, counted by the
// replacement operators in AllocationCounter.cpp (linked into the program).
struct AllocationCount {
    // Held now.
    static std::size_t InUse();
    // The most held at once since the last ResetPeak (which starts it at InUse).
    static std::size_t Peak();
    static void ResetPeak();
};
