#pragma once
// Resource IDs of the CRM name lookup's settings dialog: 5600-5699.

// Dialog
#define IDD_CRMLOOKUPFORM               5600

// The settings window's button that opens the dialog (made from the name sources' table)
#define IDC_BTNCRMNAMES                 1195
#define IDS_BTNCRMNAMES                 9010

// Child controls
#define IDC_LOOKUP_URL_LABEL            5610
#define IDC_LOOKUP_URL                  5611
#define IDC_LOOKUP_NAMEPATH_LABEL       5612
#define IDC_LOOKUP_NAMEPATH             5613
#define IDC_LOOKUP_COMMENTPATH_LABEL    5614
#define IDC_LOOKUP_COMMENTPATH          5615
#define IDC_LOOKUP_TIMEOUT_LABEL        5616
#define IDC_LOOKUP_TIMEOUT              5617
#define IDC_LOOKUP_HEADER_LABEL         5618
#define IDC_LOOKUP_HEADER               5619
#define IDC_LOOKUP_HEADER_NOTE          5620
#define IDC_LOOKUP_TEST_GROUP           5621
#define IDC_LOOKUP_TEST_LABEL           5622
#define IDC_LOOKUP_TEST_NUMBER          5623
#define IDC_LOOKUP_CHECK                5624
#define IDC_LOOKUP_RESULT               5625
#define IDC_LOOKUP_OK                   1    // IDOK: Enter applies
#define IDC_LOOKUP_CANCEL               2    // IDCANCEL: Escape closes

// Strings: window and labels
#define IDS_LOOKUP_CAPTION              5630
#define IDS_LOOKUP_URL_LABEL            5631
#define IDS_LOOKUP_NAMEPATH_LABEL       5632
#define IDS_LOOKUP_COMMENTPATH_LABEL    5633
#define IDS_LOOKUP_TIMEOUT_LABEL        5634
#define IDS_LOOKUP_HEADER_LABEL         5635
#define IDS_LOOKUP_HEADER_NOTE          5636
#define IDS_LOOKUP_TEST_GROUP           5637
#define IDS_LOOKUP_TEST_LABEL           5638
#define IDS_LOOKUP_CHECK                5639
#define IDS_LOOKUP_OK                   5640
#define IDS_LOOKUP_CANCEL               5641
// Strings: the check's result
#define IDS_LOOKUP_CHECKING             5642
#define IDS_LOOKUP_FOUND                5643
#define IDS_LOOKUP_FOUND_COMMENT        5644
#define IDS_LOOKUP_NOT_FOUND            5645
#define IDS_LOOKUP_FAILED               5646
#define IDS_LOOKUP_NEED_NUMBER          5647
#define IDS_LOOKUP_TIMEOUT_INVALID      5648
#define IDS_LOOKUP_SCHEME_REFUSED       5649
#define IDS_LOOKUP_PLACEHOLDER_REFUSED  5650
// Strings: why settings are refused, in the order of TCrmNamesCheck (from Accepted)
#define IDS_LOOKUP_CHECK_FIRST          5655
// Strings: why a lookup failed, in the order of TCrmNamesError (from None)
#define IDS_LOOKUP_ERROR_FIRST          5670
