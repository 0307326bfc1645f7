#pragma once
// Resource IDs of the call journal window: 5100-5199.

#define IDD_CALLJOURNAL                 5100

// Child controls, in tab order
#define IDC_JOURNAL_SEARCH_LABEL        5101
#define IDC_JOURNAL_SEARCH              5102
#define IDC_JOURNAL_LIST                5103
#define IDC_JOURNAL_COUNT               5104
#define IDC_JOURNAL_LIST_LABEL          5105

// The list's context menu
#define IDM_JOURNAL_COPYNUMBER          5110
#define IDM_JOURNAL_OPENCRM             5111

// Strings
#define IDS_JOURNAL_CAPTION             5120
#define IDS_JOURNAL_COL_TIME            5121
#define IDS_JOURNAL_COL_CHANNEL         5122
#define IDS_JOURNAL_COL_NUMBER          5123
#define IDS_JOURNAL_COL_NAME            5124
#define IDS_JOURNAL_COL_REGION          5125
#define IDS_JOURNAL_COL_OUTCOME         5126
#define IDS_JOURNAL_COL_DURATION        5127
#define IDS_JOURNAL_ANSWERED            5130
#define IDS_JOURNAL_MISSED              5131
#define IDS_JOURNAL_NOCONVERSATION      5132
#define IDS_JOURNAL_INTERRUPTED         5133
#define IDS_JOURNAL_COPYNUMBER          5134
#define IDS_JOURNAL_COUNT               5135
#define IDS_JOURNAL_FOUND               5136
#define IDS_JOURNAL_NUMBER_WITHHELD     5137
#define IDS_JOURNAL_SEARCH              5138
#define IDS_JOURNAL_SEARCH_CUE          5139
#define IDS_JOURNAL_MISSED_HINT         5140
#define IDS_JOURNAL_BALLOON_TITLE       5141
#define IDS_JOURNAL_BALLOON_CHANNEL     5142
#define IDS_JOURNAL_FAILED              5143
#define IDS_JOURNAL_OPENCRM             5144
#define IDS_JOURNAL_LIST_LABEL          5145

// Calling back from the journal (9620-9629)
#define IDM_JOURNAL_CALLBACK            9620
#define IDM_JOURNAL_EDITCONTACT         9621
#define IDS_JOURNAL_CALLBACK            9622
#define IDS_JOURNAL_EDITCONTACT         9623

// Notes and the export (9640-9659)
#define IDC_JOURNAL_EXPORT              9640
#define IDC_JOURNAL_NOTE_LABEL          9641
#define IDC_JOURNAL_NOTE                9642
#define IDS_JOURNAL_COL_NOTE            9643
#define IDS_JOURNAL_EXPORT              9644
#define IDS_JOURNAL_NOTE_LABEL          9645
#define IDS_JOURNAL_EXPORT_FILTER       9646
#define IDS_JOURNAL_EXPORT_FAILED       9647
#define IDS_JOURNAL_EXPORT_NAME         9648
#define IDS_JOURNAL_NOTE_CUE            9649
