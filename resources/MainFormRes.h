#pragma once
// Resource IDs of the main window: 1000-1999.
