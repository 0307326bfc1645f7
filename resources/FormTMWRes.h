#pragma once
// Resource IDs of the popup window: 2000-2999.

// Strings
#define IDS_TMW_EDITDATA 2000
#define IDS_TMW_COPYHINT 2001
#define IDS_TMW_ERRORCAPTION 2002
#define IDS_TMW_OPENCRM 2003
#define IDS_TMW_PRESS 2004

// Child controls
#define IDC_TMW_INFO 2100
#define IDC_TMW_COPY 2101
#define IDC_TMW_EDITDATA 2102
#define IDC_TMW_OPENCRM 2103

// Calling back and the popup's context menu (9600-9619)
#define IDS_TMW_CALLBACK 9600
#define IDS_TMW_CLOSE 9601
#define IDC_TMW_CALLBACK 9605
#define IDM_TMW_CALLBACK 9610
#define IDM_TMW_EDITDATA 9611
#define IDM_TMW_OPENCRM 9612
#define IDM_TMW_CLOSE 9613
