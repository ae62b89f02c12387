#pragma once
// The error styles of the handlers, each in one place instead of a try/catch per statement.

#include "ReportDbError.h"

#include <utility>

// Runs a step whose failure is to be skipped silently. True when it succeeded.
template <class Step> bool SkipOnError(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        return false;
    }
}

// Runs a step whose failure is reported through ReportDbError before the handler goes on.
template <class Step> bool ReportOnError(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        ReportDbError();
        return false;
    }
}
