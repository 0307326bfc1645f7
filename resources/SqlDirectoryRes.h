#pragma once
// Resource IDs of the subscriber directory in the organisation's SQL server:
// its settings dialog, the settings window's button that opens it, and the
// texts of its check, its move-over and its state: 9400-9599.

// Dialog
#define IDD_SQLDIRECTORYFORM            9400

// Child controls
#define IDC_SQLDIR_CONNECTION_LABEL     9410
#define IDC_SQLDIR_CONNECTION           9411
#define IDC_SQLDIR_PASSWORD_LABEL       9412
#define IDC_SQLDIR_PASSWORD             9413
#define IDC_SQLDIR_TABLE_LABEL          9414
#define IDC_SQLDIR_TABLE                9415
#define IDC_SQLDIR_SECONDS_LABEL        9416
#define IDC_SQLDIR_SECONDS              9417
#define IDC_SQLDIR_CHECK                9418
#define IDC_SQLDIR_RESULT               9419
#define IDC_SQLDIR_MOVE_GROUP           9420
#define IDC_SQLDIR_MOVE_NOTE            9421
#define IDC_SQLDIR_MOVE                 9422
#define IDC_SQLDIR_MOVE_STOP            9423
#define IDC_SQLDIR_MOVE_PROGRESS        9424
#define IDC_SQLDIR_MOVE_RESULT          9425
#define IDC_SQLDIR_NOTE                 9426
#define IDC_SQLDIR_OK                   1    // IDOK: Enter applies
#define IDC_SQLDIR_CANCEL               2    // IDCANCEL: Escape closes

// The settings window's button (made from the name sources' table) and its caption
#define IDC_BTNSQLDIRECTORY             9430
#define IDS_BTNSQLDIRECTORY             9012

// Strings: window and labels
#define IDS_SQLDIR_CAPTION              9450
#define IDS_SQLDIR_CONNECTION_LABEL     9451
#define IDS_SQLDIR_PASSWORD_LABEL       9452
#define IDS_SQLDIR_TABLE_LABEL          9453
#define IDS_SQLDIR_SECONDS_LABEL        9454
#define IDS_SQLDIR_CHECK                9455
#define IDS_SQLDIR_MOVE_GROUP           9456
#define IDS_SQLDIR_MOVE_NOTE            9457
#define IDS_SQLDIR_MOVE_NOTE_CLIENT     9458
#define IDS_SQLDIR_MOVE                 9459
#define IDS_SQLDIR_MOVE_STOP            9460
#define IDS_SQLDIR_NOTE                 9461
#define IDS_SQLDIR_OK                   9462
#define IDS_SQLDIR_CANCEL               9463
// Strings: the check and the move-over
#define IDS_SQLDIR_CHECKING             9470
#define IDS_SQLDIR_CHECK_DONE           9471
#define IDS_SQLDIR_CHECK_FAILED         9472
#define IDS_SQLDIR_SECONDS_INVALID      9473
#define IDS_SQLDIR_NO_CONNECTION        9474
#define IDS_SQLDIR_MOVING               9475
#define IDS_SQLDIR_MOVE_DONE            9476
#define IDS_SQLDIR_MOVE_FAILED          9477
#define IDS_SQLDIR_MOVE_CANCELLED       9478
#define IDS_SQLDIR_MOVE_READ_FAILED     9479
#define IDS_SQLDIR_ERROR_DETAIL         9480
#define IDS_SQLDIR_MOVE_CANCELLED_EARLY 9481
// Strings: the state for the tray and the diagnostics
#define IDS_SQLDIR_STATE_OFF            9490
#define IDS_SQLDIR_STATE_OK             9491
#define IDS_SQLDIR_STATE_WAITING        9492
#define IDS_SQLDIR_STATE_ERROR          9493
#define IDS_SQLDIR_TRAY_WAITING         9494
#define IDS_SQLDIR_STATE_NEVER          9495
#define IDS_SQLDIR_TRAY_ERROR           9496
// Strings: why an operation on the server failed, in the order of TSqlErrorKind (from None)
#define IDS_SQLDIR_FAILURE_FIRST        9500
