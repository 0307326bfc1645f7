#pragma once
// Resource IDs of the settings window's "Монитор" beside the popups' corner: 9700-9719.

#define IDC_CBMONITOR_LABEL             9700
#define IDC_CBMONITOR                   9701
#define IDS_MONITOR_PRIMARY             9702
#define IDS_MONITOR_POINTER             9703
#define IDS_MONITOR_NUMBER              9704
