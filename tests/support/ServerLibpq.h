#pragma once
// A test database on the server as a libpq string, for connecting to it as another role.

#include "TestDatabase.h"

#include <QString>

// The catalog of `db` for `user` (the password comes from the password file); the test server's
// superuser when empty.
QString serverLibpq(const TestDatabase& db, const QString& user = {});
