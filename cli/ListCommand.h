#pragma once
// `orvanta --list TABLE --out FILE.pdf|FILE.xlsx|FILE.csv [--database PATH] [--encoding utf-8|gbk]`:
// a whole register in key order under its list title, for scheduled jobs and for checking a
// printout without a display.

#include <optional>

class CommandLine;
struct ListTable;
struct RegisterDef;
class Connection;

// Every record of the register in key order: all columns but the photo, less those the saved
// column choice for the register's list leaves out.
ListTable RegisterTable(Connection& conn, const RegisterDef& shown);

// Nullopt when the mode is not --list.
std::optional<int> runList(const CommandLine& commandLine);
