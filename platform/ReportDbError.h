#pragma once
// The one routine through which error traps tell the user what went wrong.

#include "DbError.h"

#include <QString>

// Call inside a catch block: reports the exception in flight. Does nothing outside one.
void ReportDbError() noexcept;
// Shows the message for an error number (364 shows nothing). Never throws.
void ReportDbError(int number, const QString& description) noexcept;
