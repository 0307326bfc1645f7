#pragma once
// Resource IDs of the organisation's directory: its settings dialog and the
// texts of its sync and check: 5800-5899.

// Dialog
#define IDD_ORGDIRECTORYFORM            5800

// The settings window's button that opens the dialog (made from the name sources' table)
#define IDC_BTNORGDIRECTORY             1196
#define IDS_BTNORGDIRECTORY             9011

// Child controls
#define IDC_ORGDIR_SERVERS_LABEL        5810
#define IDC_ORGDIR_SERVERS              5811
#define IDC_ORGDIR_BASE_LABEL           5812
#define IDC_ORGDIR_BASE                 5813
#define IDC_ORGDIR_FILTER_LABEL         5814
#define IDC_ORGDIR_FILTER               5815
#define IDC_ORGDIR_PHONES_LABEL         5816
#define IDC_ORGDIR_PHONES               5817
#define IDC_ORGDIR_NAME_LABEL           5818
#define IDC_ORGDIR_NAME                 5819
#define IDC_ORGDIR_COMMENTS_LABEL       5820
#define IDC_ORGDIR_COMMENTS             5821
#define IDC_ORGDIR_WINDOWS_LOGIN        5822
#define IDC_ORGDIR_BINDDN_LABEL         5823
#define IDC_ORGDIR_BINDDN               5824
#define IDC_ORGDIR_PASSWORD_LABEL       5825
#define IDC_ORGDIR_PASSWORD             5826
#define IDC_ORGDIR_MINUTES_LABEL        5827
#define IDC_ORGDIR_MINUTES              5828
#define IDC_ORGDIR_CHECK                5829
#define IDC_ORGDIR_RESULT               5830
#define IDC_ORGDIR_NOTE                 5831
#define IDC_ORGDIR_OK                   1    // IDOK: Enter applies
#define IDC_ORGDIR_CANCEL               2    // IDCANCEL: Escape closes

// Strings: window and labels
#define IDS_ORGDIR_CAPTION              5840
#define IDS_ORGDIR_SERVERS_LABEL        5841
#define IDS_ORGDIR_BASE_LABEL           5842
#define IDS_ORGDIR_FILTER_LABEL         5843
#define IDS_ORGDIR_PHONES_LABEL         5844
#define IDS_ORGDIR_NAME_LABEL           5845
#define IDS_ORGDIR_COMMENTS_LABEL       5846
#define IDS_ORGDIR_WINDOWS_LOGIN        5847
#define IDS_ORGDIR_BINDDN_LABEL         5848
#define IDS_ORGDIR_PASSWORD_LABEL       5849
#define IDS_ORGDIR_MINUTES_LABEL        5850
#define IDS_ORGDIR_CHECK                5851
#define IDS_ORGDIR_OK                   5852
#define IDS_ORGDIR_CANCEL               5853
#define IDS_ORGDIR_NOTE                 5854
// Strings: the check and the last sync
#define IDS_ORGDIR_CHECKING             5855
#define IDS_ORGDIR_CHECK_FOUND          5856
#define IDS_ORGDIR_CHECK_FAILED         5857
#define IDS_ORGDIR_MINUTES_INVALID      5858
#define IDS_ORGDIR_SYNC_OFF             5859
#define IDS_ORGDIR_SYNC_NEVER           5860
#define IDS_ORGDIR_SYNC_DONE            5861
#define IDS_ORGDIR_SYNC_FAILED          5862
#define IDS_ORGDIR_SYNC_KEPT            5863
#define IDS_ORGDIR_SYNC_NONE_KEPT       5864
#define IDS_ORGDIR_ERROR_SERVER         5865
#define IDS_ORGDIR_ERROR_DETAIL         5866
// Strings: why a read failed, in the order of TOrgDirectoryFailure (from None)
#define IDS_ORGDIR_FAILURE_FIRST        5870

// Strings: a check that read one page of several, and reads stopped at a limit: 9200-9299.
#define IDS_ORGDIR_CHECK_FOUND_MORE     9200
#define IDS_ORGDIR_PAGES_REPEATED       9201
#define IDS_ORGDIR_TOO_MANY_PAGES       9202
#define IDS_ORGDIR_TOO_MANY_ENTRIES     9203
#define IDS_ORGDIR_TOO_MUCH_DATA        9204
#define IDS_ORGDIR_TOOK_TOO_LONG        9205

// Strings: why no encrypted connection was made (9300-9349)
#define IDS_ORGDIR_STARTTLS_REFUSED     9300
#define IDS_ORGDIR_TLS_FAILED           9301
#define IDS_ORGDIR_TLS_REQUIRED         9302
