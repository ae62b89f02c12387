#pragma once
// The run's database: the one connection every window and mode works through, where it points,
// and the record sets opened with it that the whole program shares.

#include "adodb.h"

#include <QString>

extern Connection gConn;
extern QString gConnStr;
extern QString gDbPath;
extern bool gUseSqlServer;
extern RecordsetPtr gUsersRs;
extern RecordsetPtr gListRs;
extern RecordsetPtr gSystemRs;
extern RecordsetPtr gPrintSetup;
