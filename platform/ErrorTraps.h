#pragma once
// The three ways a handler meets a database error: report it and go on, skip it silently, or
// show its number and description and go on.

#include "dialogs.h"
#include "ReportDbError.h"

#include <exception>

// Runs one step; an error is reported through ReportDbError. True when the step succeeded.
template <class Step> bool ReportAndGoOn(Step&& step) {
    try {
        step();
        return true;
    } catch (...) {
        ReportDbError();
        return false;
    }
}

// Runs one step; an error is passed over without a word. True when the step succeeded.
template <class Step> bool SkipOnError(Step&& step) {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

// Shows the error number followed directly by its description (critical icon).
void ShowErrorNumber(const DbError& error);

// Runs one step; an error is shown with its number. True when the step succeeded.
template <class Step> bool ShowErrorAndGoOn(Step&& step) {
    try {
        step();
        return true;
    } catch (const DbError& error) {
        ShowErrorNumber(error);
    } catch (const std::exception& error) {
        ShowErrorNumber(DbError(0, QString::fromLocal8Bit(error.what())));
    }
    return false;
}
