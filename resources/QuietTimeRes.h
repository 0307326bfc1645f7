#pragma once
// Resource IDs of quiet time ("Не беспокоить"): 9660-9699.

// The tray menu's submenu
#define IDM_QUIET_HOUR                  9660
#define IDM_QUIET_MORNING               9661
#define IDM_QUIET_ENDLESS               9662
#define IDM_QUIET_OFF                   9663

// Strings
#define IDS_QUIET_MENU                  9670
#define IDS_QUIET_HOUR                  9671
#define IDS_QUIET_MORNING               9672
#define IDS_QUIET_ENDLESS               9673
#define IDS_QUIET_OFF                   9674
#define IDS_QUIET_UNTIL_TODAY           9675
#define IDS_QUIET_UNTIL_TOMORROW        9676
#define IDS_QUIET_UNTIL_DATE            9677
#define IDS_QUIET_UNTIL_OFF             9678
#define IDS_QUIET_WHILE_BUSY            9679
#define IDS_QUIET_HOURS_REFUSED         9680
