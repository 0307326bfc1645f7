#pragma once
// Resource IDs of the main window: 1000-1999.

#define IDD_MAINFORM            1000
#define IDM_TRAYMENU            1001

#define IDC_CBACTIVE            1100
#define IDC_LESERVER_LABEL      1101
#define IDC_LESERVER            1102
#define IDC_BTNSELECTSERVER     1103
#define IDC_LABELCHANNELS       1104
#define IDC_CLBCHANNELS         1105
#define IDC_BTNABOUT            1106
#define IDC_BTNEXIT             1107
#define IDC_STATUSBAR           1108

#define IDM_PMNUOPTIONS         1200
#define IDM_PMNUEXIT            1201

#define IDS_APP_TITLE           1300
#define IDS_NO_CONNECTION       1301
#define IDS_STATUS_OFF          1302
#define IDS_STATUS_CONNECTED    1303
#define IDS_STATUS_LOST         1304
#define IDS_CONNECT_ERROR       1305
#define IDS_ABOUT_TEXT          1306
#define IDS_SELECT_COMPUTER     1307
#define IDS_UNKNOWN_ERROR       1308
#define IDS_SAVE_FAILED         1350
#define IDS_SAVE_NO_NUMBER      1351
#define IDS_SAVE_UNFINISHED     1352
