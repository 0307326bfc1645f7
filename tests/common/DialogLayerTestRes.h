#pragma once

#define IDD_LAYERTEST       100
#define IDC_LAYERTEST_EDIT  101
#define IDC_LAYERTEST_LIST  102
#define IDS_LAYERTEST_CAPTION 110
#define IDS_LAYERTEST_EDIT    111
#define IDS_LAYERTEST_COLUMN  112
// No dialog template has this number.
#define IDD_LAYERTEST_MISSING 199
