#pragma once
// Resource IDs of calling back's messages: 9630-9639.

#define IDS_CALLBACK_TEMPLATE_REFUSED   9630
#define IDS_CALLBACK_OPEN_FAILED        9631
