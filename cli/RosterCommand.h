#pragma once
// `orvanta --import-roster FILE --register DangAnKu|CaoZuoZheng|PeiXun [--map 列名=字段 …]
// [--existing update|skip|add] [--add-options] [--dry-run]`: a class roster into a register, and
// `orvanta --import-photos DIR --register … [--replace] [--fit] [--dry-run]`: a folder of photos
// named by identity number or key. Both print the report on standard output.

#include <optional>

class CommandLine;

// Nullopt when the mode is not --import-roster.
std::optional<int> runImportRoster(const CommandLine& commandLine);
// Nullopt when the mode is not --import-photos.
std::optional<int> runImportPhotos(const CommandLine& commandLine);
