#pragma once

// Icons
#define IDI_APPICON 100
