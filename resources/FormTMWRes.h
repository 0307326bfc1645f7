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
