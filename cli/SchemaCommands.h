#pragma once
// `--verify-audit` walks the audit trail's chain; `--upgrade-schema` brings an older database up to
// this version (on the server with the owner role).

#include "CommandLine.h"

std::optional<int> runVerifyAudit(const CommandLine& commandLine);
std::optional<int> runUpgradeSchema(const CommandLine& commandLine);
