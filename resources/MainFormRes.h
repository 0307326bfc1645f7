#pragma once
// Resource IDs of the main window: 1000-1999.

#define IDD_MAINFORM            1000
#define IDM_TRAYMENU            1001

// Controls, numbered in tab order (left column, middle, right, bottom row).
#define IDC_CBACTIVE            1100
#define IDC_LESERVER_LABEL      1101
#define IDC_LESERVER            1102
#define IDC_BTNSELECTSERVER     1103
#define IDC_LABELCHANNELS       1104
#define IDC_CLBCHANNELS         1105
#define IDC_BTNABOUT            1106
#define IDC_BTNEXIT             1107
#define IDC_STATUSBAR           1108

#define IDC_LEAREAPATH_LABEL            1110
#define IDC_LEAREAPATH                  1111
#define IDC_BTNBROWSEAREAPATH           1112
#define IDC_LEABONENTPATH_LABEL         1113
#define IDC_LEABONENTPATH               1114
#define IDC_BTNBROWSEABONENTPATH        1115
#define IDC_LECOUNTRYCODE_LABEL         1116
#define IDC_LECOUNTRYCODE               1117
#define IDC_LECITYCODE_LABEL            1118
#define IDC_LECITYCODE                  1119
#define IDC_LECITYPREFIX_LABEL          1120
#define IDC_LECITYPREFIX                1121
#define IDC_LELONGDISTANCE_LABEL        1122
#define IDC_LELONGDISTANCECARRIERCODE   1123
#define IDC_LEINTERNATIONAL_LABEL       1124
#define IDC_LEINTERNATIONALCARRIERCODE  1125

#define IDC_CBAUTORUN                   1130
#define IDC_GBTRYMSGWIN                 1131
#define IDC_CBTMWPOS_LABEL              1132
#define IDC_CBTMWPOS                    1133
#define IDC_CBTMWSTYLE_LABEL            1134
#define IDC_CBTMWSTYLE                  1135
#define IDC_TMWSIZE_LABEL               1136
#define IDC_EDITTWMWIDTH                1137
#define IDC_TMWX_LABEL                  1138
#define IDC_EDITTWMHEIGHT               1139
#define IDC_TMWCOMMA1_LABEL             1140
#define IDC_EDITTWMROWS                 1141
#define IDC_TMWCOMMA2_LABEL             1142
#define IDC_EDITTWMDISP                 1143
#define IDC_CBFONTNAMES_LABEL           1144
#define IDC_CBFONTNAMES                 1145
#define IDC_CBFONTSIZES_LABEL           1146
#define IDC_CBFONTSIZES                 1147
#define IDC_INFOLABEL                   1148
#define IDC_PHONESHOWCHECKBOX           1149
#define IDC_PHONEBOLDBUTTON             1150
#define IDC_NAMESHOWCHECKBOX            1151
#define IDC_NAMEBOLDBUTTON              1152
#define IDC_REGIONSHOWCHECKBOX          1153
#define IDC_REGIONBOLDBUTTON            1154
#define IDC_COMMENTSHOWCHECKBOX         1155
#define IDC_COMMENTBOLDBUTTON           1156
#define IDC_SHOWHIDEPREVIEWWINDOWBUTTON 1157

#define IDC_CBCLOSETMWONSTART           1160
#define IDC_CBCALLERIDONLY              1161
#define IDC_CBUSECITYPREFIXFORINCOMING  1162
#define IDC_USEREMOTEDBCHECKBOX         1163
#define IDC_GROUPBOX1                   1164
#define IDC_DBTYPERADIOGROUP            1165
#define IDC_DBTYPE_SERVER               1166
#define IDC_DBTYPE_CLIENT               1167
#define IDC_ADDRESS_LABEL               1168
#define IDC_ADDRESSLABELEDEDIT          1169
#define IDC_SELECTADDRESSBUTTON         1170
#define IDC_PORT_LABEL                  1171
#define IDC_PORTSPINEDIT                1172
#define IDC_PORTSPIN                    1173
#define IDC_SETDEFAULTPORTBUTTON        1174
#define IDC_TESTDBCONNECTIONBUTTON      1175
#define IDC_DBALLOWEDCLIENTS_LABEL      1176
#define IDC_DBALLOWEDCLIENTS            1177

// The CRM card of a call.
#define IDC_GBCRM                       1190
#define IDC_CRMURLTEMPLATE_LABEL        1191
#define IDC_EDITCRMURLTEMPLATE          1192
#define IDC_CBCRMOPENMODE_LABEL         1193
#define IDC_CBCRMOPENMODE               1194
// 1195 and 1196: the buttons of the name sources' dialogs (CrmNamesRes.h, OrgDirectoryRes.h).

// "OK" and "Отмена" are the dialog's own IDOK and IDCANCEL, so that Enter and
// Escape reach them.
#define IDC_BTNOK                       1    // IDOK
#define IDC_BTNCANCEL                   2    // IDCANCEL
#define IDC_BTNAPPLY                    1180

#define IDM_PMNUOPTIONS         1200
#define IDM_PMNUEXIT            1201
#define IDM_PMNUDIRECTORY       1202
#define IDM_PMNUJOURNAL         1203
#define IDM_PMNUDIAGNOSTICS     1204

#define IDS_APP_TITLE           1300
#define IDS_NO_CONNECTION       1301
#define IDS_STATUS_OFF          1302
#define IDS_STATUS_CONNECTED    1303
#define IDS_STATUS_LOST         1304
#define IDS_CONNECT_ERROR       1305
#define IDS_ABOUT_TEXT          1306
#define IDS_SELECT_COMPUTER     1307
#define IDS_SAVE_FAILED         1350
#define IDS_SAVE_NO_NUMBER      1351
#define IDS_SAVE_UNFINISHED     1352

#define IDS_POS_LEFTTOP         1310
#define IDS_POS_RIGHTTOP        1311
#define IDS_POS_LEFTBOTTOM      1312
#define IDS_POS_RIGHTBOTTOM     1313
#define IDS_ANIMATE_NONE        1314
#define IDS_ANIMATE_VERTICAL    1315
#define IDS_ANIMATE_HORIZONTAL  1316
#define IDS_NOT_AN_INTEGER      1317
#define IDS_PREVIEW_TEXT        1320
#define IDS_PREVIEW_PHONE       1321
#define IDS_PREVIEW_NAME        1322
#define IDS_PREVIEW_COMMENT     1323
#define IDS_PREVIEW_REGION      1324

#define IDS_CRM_NEVER               1360
#define IDS_CRM_BUTTON              1361
#define IDS_CRM_ONANSWER            1362
#define IDS_CRM_SCHEME_REFUSED      1363
#define IDS_CRM_UNKNOWN_PLACEHOLDER 1364
#define IDS_CRM_OPEN_FAILED         1365
#define IDS_CRM_TEMPLATE_REFUSED    1366

#define IDS_ENFORCED_NOTE           1380

#define IDS_TRAY_RECONNECTING       9000
#define IDS_TRAY_OFF                9001
