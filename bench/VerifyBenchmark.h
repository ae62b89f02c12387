#pragma once
// The verification service (the real orvanta-verify, a process of its own on the loopback
// address) under a burst from one address and a steady load from several.

#include <QString>
#include <QTextStream>

// Gives the register in `database` a verification code per certificate (once), then measures:
// 10,000 requests from one address as fast as it takes them (every answer a 200 within the
// allowance or a 429, none lost, the service alive after), and `seconds` of 200 verifications a
// second spread over 20 addresses (p50, p99, slowest). Returns the exit code.
int measureVerifyService(const QString& database, int seconds, int runs, QTextStream& out);
