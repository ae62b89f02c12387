#include "DatabaseGlobals.h"

Connection gConn;
QString gConnStr;
QString gDbPath;
bool gUseSqlServer = false;
RecordsetPtr gUsersRs;
RecordsetPtr gListRs;
RecordsetPtr gSystemRs;
RecordsetPtr gPrintSetup;
