#pragma once
// Resource IDs of the event diagnostics window: 5200-5299.

// Dialog
#define IDD_DIAGNOSTICSFORM             5200

// Child controls
#define IDC_DIAG_STATE                  5210
#define IDC_DIAG_ERROR                  5211
#define IDC_DIAG_LIST                   5212
#define IDC_DIAG_COPY                   5213
#define IDC_DIAG_REFRESH                5214
#define IDC_DIAG_LIST_LABEL             5215
// The name sources' lines, made at start-up from their table: 5216 on, at most four.
#define IDC_DIAG_SOURCE_FIRST           5216
#define IDC_DIAG_CLOSE                  2    // IDCANCEL: Escape closes

// Strings: window and columns
#define IDS_DIAG_CAPTION                5220
#define IDS_DIAG_COL_TIME               5221
#define IDS_DIAG_COL_EVENT              5222
#define IDS_DIAG_COL_CHANNEL            5223
#define IDS_DIAG_COL_NUMBER             5224
#define IDS_DIAG_COL_OUTCOME            5225
#define IDS_DIAG_CONNECTED              5226
#define IDS_DIAG_CONNECTED_LOCAL        5227
#define IDS_DIAG_NOT_CONNECTED          5228
#define IDS_DIAG_NO_ERROR               5229
#define IDS_DIAG_LAST_ERROR             5230
#define IDS_DIAG_CLOSED_BY_SERVER       5231
#define IDS_DIAG_UNKNOWN_CODE_NAME      5232
#define IDS_DIAG_NO_EVENT_NAME          5233
#define IDS_DIAG_COPY_FAILED            5234
#define IDS_DIAG_COPY                   5235
#define IDS_DIAG_REFRESH                5236
#define IDS_DIAG_CLOSE_TEXT             5237
#define IDS_DIAG_LIST_LABEL             5238

// Strings: what was done with an event, in the order of TEventOutcome
#define IDS_DIAG_OUTCOME_FIRST          5240
// Strings: why a lookup failed, in the order of TLookupFailureKind (from None)
#define IDS_DIAG_LOOKUP_FIRST           5270
#define IDS_DIAG_LOOKUP_LOCAL           5285
#define IDS_DIAG_LOOKUP_REMOTE          5286
#define IDS_DIAG_WITHHELD_SUFFIX        5287
#define IDS_DIAG_NAME_LOOKUP_EVENT      5288
