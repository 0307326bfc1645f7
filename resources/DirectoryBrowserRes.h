#pragma once
// Resource IDs of the subscriber directory window and its import preview: 5000-5099
// and 5800-5849.

// Dialogs
#define IDD_DIRECTORYBROWSER            5000
#define IDD_DIRECTORYIMPORT             5001

// The directory window's controls, in tab order
#define IDC_DIRBROWSER_SEARCH_LABEL     5010
#define IDC_DIRBROWSER_SEARCH           5011
#define IDC_DIRBROWSER_LIST             5012
#define IDC_DIRBROWSER_ADD              5013
#define IDC_DIRBROWSER_EDIT             5014
#define IDC_DIRBROWSER_DELETE           5015
#define IDC_DIRBROWSER_IMPORT           5016
#define IDC_DIRBROWSER_EXPORT           5017
#define IDC_DIRBROWSER_REFRESH          5018
#define IDC_DIRBROWSER_STATUS           5019
#define IDC_DIRBROWSER_REMOTE           5020
#define IDC_DIRBROWSER_LIST_LABEL       5021

// The import preview's controls, in tab order
#define IDC_DIRIMPORT_FILE              5030
#define IDC_DIRIMPORT_NUMBER_LABEL      5031
#define IDC_DIRIMPORT_NUMBER            5032
#define IDC_DIRIMPORT_NAME_LABEL        5033
#define IDC_DIRIMPORT_NAME              5034
#define IDC_DIRIMPORT_COMMENT_LABEL     5035
#define IDC_DIRIMPORT_COMMENT           5036
#define IDC_DIRIMPORT_REPLACE           5037
#define IDC_DIRIMPORT_ROWS_LABEL        5038
#define IDC_DIRIMPORT_ROWS              5039
#define IDC_DIRIMPORT_COUNTS            5040
#define IDC_DIRIMPORT_REJECTED_LABEL    5041
#define IDC_DIRIMPORT_REJECTED          5042
#define IDC_DIRIMPORT_STATUS            5043
#define IDC_DIRIMPORT_PROGRESS          5044

// Strings of the directory window
#define IDS_DIRBROWSER_CAPTION          5050
#define IDS_DIRBROWSER_SEARCH_LABEL     5051
#define IDS_DIRBROWSER_ADD              5052
#define IDS_DIRBROWSER_EDIT             5053
#define IDS_DIRBROWSER_DELETE           5054
#define IDS_DIRBROWSER_IMPORT           5055
#define IDS_DIRBROWSER_EXPORT           5056
#define IDS_DIRBROWSER_REFRESH          5057
#define IDS_DIRBROWSER_CLOSE            5058
#define IDS_DIRBROWSER_COL_NUMBER       5059
#define IDS_DIRBROWSER_COL_NAME         5060
#define IDS_DIRBROWSER_COL_REGION       5061
#define IDS_DIRBROWSER_COL_COMMENT      5062
#define IDS_DIRBROWSER_COUNT            5063
#define IDS_DIRBROWSER_FOUND            5064
#define IDS_DIRBROWSER_REMOTE           5065
#define IDS_DIRBROWSER_CONFIRM_DELETE   5066
#define IDS_DIRBROWSER_FILTER_IMPORT    5067
#define IDS_DIRBROWSER_FILTER_EXPORT    5068
#define IDS_DIRBROWSER_EXPORT_NAME      5069
#define IDS_DIRBROWSER_EXPORTED         5070
#define IDS_DIRBROWSER_IMPORTED         5071
#define IDS_DIRBROWSER_BAD_NUMBER       5072
#define IDS_DIRBROWSER_READ_FAILED      5073
#define IDS_DIRBROWSER_LIST_LABEL       5079
#define IDS_DIRBROWSER_READING          5045

// More strings of the import preview
#define IDS_DIRIMPORT_READING           5074
#define IDS_DIRIMPORT_PREVIEWING        5075
#define IDS_DIRIMPORT_WRITING           5076
#define IDS_DIRIMPORT_WRITE_CANCELLED   5077
#define IDS_DIRIMPORT_COLUMNS_CUT       5078

// Strings of the import preview
#define IDS_DIRIMPORT_CAPTION           5080
#define IDS_DIRIMPORT_NUMBER_LABEL      5081
#define IDS_DIRIMPORT_NAME_LABEL        5082
#define IDS_DIRIMPORT_COMMENT_LABEL     5083
#define IDS_DIRIMPORT_REPLACE           5084
#define IDS_DIRIMPORT_ROWS_LABEL        5085
#define IDS_DIRIMPORT_REJECTED_LABEL    5086
#define IDS_DIRIMPORT_OK                5087
#define IDS_DIRIMPORT_CANCEL            5088
#define IDS_DIRIMPORT_NO_COLUMN         5089
#define IDS_DIRIMPORT_COLUMN            5090
#define IDS_DIRIMPORT_COUNTS            5091
#define IDS_DIRIMPORT_COL_LINE          5092
#define IDS_DIRIMPORT_COL_STATE         5093
#define IDS_DIRIMPORT_COL_REASON        5094
#define IDS_DIRIMPORT_STATE_NEW         5095
#define IDS_DIRIMPORT_STATE_CHANGED     5096
#define IDS_DIRIMPORT_STATE_UNCHANGED   5097
#define IDS_DIRIMPORT_FAILED            5098
#define IDS_DIRIMPORT_FILE              5099

// The import preview's organisation chooser, placed between the comment's
// columns and IDC_DIRIMPORT_REPLACE in the tab order
#define IDC_DIRIMPORT_ORGANIZATION_LABEL 5800
#define IDC_DIRIMPORT_ORGANIZATION      5801

// The organisation chooser's strings
#define IDS_DIRIMPORT_ORGANIZATION_LABEL 5810
#define IDS_DIRIMPORT_COLUMN_TITLED     5811
