#pragma once
// Resource IDs of the directory sharing: 4000-4999.

#define IDS_DBSERVER_START_FAILED   4000
#define IDS_DBTEST_SUCCESS          4001
#define IDS_DBTEST_NOT_ACTIVE       4002
#define IDS_DBTEST_CANNOT_CONNECT   4003
#define IDS_DBTEST_TIMED_OUT        4004
#define IDS_DBSAVE_NOT_STORED       4005
