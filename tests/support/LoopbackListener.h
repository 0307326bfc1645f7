#pragma once
#include "SocketHandle.h"

#include <cstdint>

// A socket listening on 127.0.0.1 at a port the system chose, told in port;
// throws std::runtime_error when it cannot be made.
UniqueSocket ListenOnLoopback(uint16_t& port);
