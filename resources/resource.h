#pragma once

// Icons
#define IDI_APPICON 100

// Version shown in the about box and the version block.
#define KORDAVIN_VERSION_TEXT "1.0.1.3"
#define KORDAVIN_VERSION_BINARY 1, 0, 1, 3
