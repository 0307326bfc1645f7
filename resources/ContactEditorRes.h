#pragma once
// Resource IDs of the contact editor: 3000-3999.

// Dialog
#define IDD_EDITORFORM                  3000

// Child controls, in tab order
#define IDC_EDITOR_PHONE_LABEL          3100
#define IDC_EDITOR_PHONE                3101
#define IDC_EDITOR_NAME_LABEL           3102
#define IDC_EDITOR_NAME                 3103
#define IDC_EDITOR_COMMENT_LABEL        3104
#define IDC_EDITOR_COMMENT              3105
#define IDC_EDITOR_SAVE                 3106
#define IDC_EDITOR_CANCEL               3107

// Strings
#define IDS_EDITOR_CAPTION              3200
#define IDS_EDITOR_PHONE_LABEL          3201
#define IDS_EDITOR_NAME_LABEL           3202
#define IDS_EDITOR_COMMENT_LABEL        3203
#define IDS_EDITOR_SAVE                 3204
#define IDS_EDITOR_CANCEL               3205
#define IDS_EDITOR_ERRORCAPTION         3206
