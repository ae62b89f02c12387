#pragma once
// `orvanta --list TABLE --out FILE.pdf|FILE.xlsx|FILE.csv [--database PATH] [--encoding utf-8|gbk]`:
// a whole register in key order under its list title, for scheduled jobs and for checking a
// printout without a display.

#include "ListTable.h"

#include <optional>

class CommandLine;
struct RegisterDef;
class Connection;

// Every record of the register in key order: all columns but the photo, less those the saved
// column choice for the register's list leaves out; read a window at a time as `read` is asked.
struct RegisterRows {
    ListTable columns; // headers and column kinds, no rows
    qint64 count = 0;
    ListRowReader read; // throws DbError when the database fails
};
RegisterRows RegisterRowsOf(Connection& conn, const RegisterDef& shown);

// Nullopt when the mode is not --list.
std::optional<int> runList(const CommandLine& commandLine);
