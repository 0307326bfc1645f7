#pragma once
#include <cstdint>

// A TCP port on which nothing listens right now.
uint16_t FreePort();
