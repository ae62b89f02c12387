#pragma once
// The verification codes printed on the cards: a random code per record of the three registers,
// issued when a card first needs one and revoked (a lost card) by issuing a new one. The code is
// the only thing the public verification address carries.

#include "adodb.h"

#include <QString>

// 24 characters of the URL-safe base64 alphabet: 144 random bits.
QString newVerifyToken();
// True for a text of that form; the service answers anything else as a miss.
bool looksLikeVerifyToken(const QString& text);

// The record's current code, issued now when it has none. Throws DbError.
QString currentVerifyToken(Connection& conn, const QString& table, const QString& key);
// Revokes the record's current code (if any) and issues a new one, with a row in the trail, in one
// transaction. The old code answers as unknown from then on. Throws DbError.
QString reissueVerifyToken(Connection& conn, const QString& table, const QString& key);

// The office's verification host ("check.example.org" or "host:port"), kept in the settings.
QString verifyHost();
void saveVerifyHost(const QString& host);
// Why a host cannot stand in the verification address, in the system's words; empty when it can.
QString verifyHostProblem(const QString& host);
// https://HOST/v/TOKEN
QString verifyAddress(const QString& host, const QString& token);
