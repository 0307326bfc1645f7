#pragma once
// Resource IDs of the popup window: 2000-2999.
