#pragma once
// Resource IDs of quiet time ("Не беспокоить"): 9660-9699.

// The tray menu's submenu
#define IDM_QUIET_HOUR                  9660
#define IDM_QUIET_MORNING               9661
#define IDM_QUIET_ENDLESS               9662
#define IDM_QUIET_OFF                   9663
#define IDM_QUIET_HOURS                 9664

// The dialog "Тихие часы"
#define IDD_QUIETHOURS                  9685
#define IDC_QUIET_HOURS                 9686
#define IDC_QUIET_FROM_LABEL            9687
#define IDC_QUIET_FROM                  9688
#define IDC_QUIET_TO_LABEL              9689
#define IDC_QUIET_TO                    9690
#define IDC_QUIET_BUSY                  9691
#define IDS_QUIET_HOURS_MENU            9692
#define IDS_QUIET_HOURS_CAPTION         9693

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
