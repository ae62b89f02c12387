#pragma once
// Reading a list's rows again in the order of one of its columns, as a header click asks.

#include "Recordset.h"

struct OrderedStatement {
    Statement statement;
    // The rows are those of one table, read by identity: a set opened on it takes the bookmarks of
    // a set opened on the original statement. Otherwise its bookmarks are only its own positions.
    bool sameBookmarks = false;
    // The table it reads, when it reads one.
    QString table;
};

// `statement` with its rows ordered by `column` (then by identity, so that equal values keep one
// order), ascending or not. The statement's own order gives way; its values stay bound.
OrderedStatement orderedBy(const Statement& statement, const QString& column, bool descending);

// Whether an index of `table` starts with `column`, so that ordering by it needs no sort.
bool hasLeadingIndex(Connection& conn, const QString& table, const QString& column);
