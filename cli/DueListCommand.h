#pragma once
// `orvanta --due-list --within DAYS | --from yyyy-MM-dd --to yyyy-MM-dd --out FILE [--database PATH]`:
// the reminder window's rows written to a PDF, an Excel workbook or a CSV file, for scheduled jobs.

#include <optional>

class CommandLine;

// Nullopt when the mode is not --due-list.
std::optional<int> runDueList(const CommandLine& commandLine);
