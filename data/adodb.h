#pragma once
// Record-set layer: the cursor semantics the windows are written against (ADO style), on Qt Sql
// over SQLite (embedded) or PostgreSQL (server). The rest of the program includes this header.

#include "Connection.h"
#include "Recordset.h"
