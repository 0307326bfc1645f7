#pragma once
// String-table texts that the helpers of common/ load; the program's resources
// (resources/Common.rc) hold them.

#define IDS_UNKNOWN_ERROR       900
