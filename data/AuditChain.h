#pragma once
// The chain that makes the audit trail tamper-evident: every AuditLog row keeps in 校验 the
// SHA-256 of the row before it and of its own fields, so a row removed, changed or slipped in
// breaks the chain from that row on.
//
// Canonical form hashed for a row (UTF-8 bytes, LF = one byte 0x0A):
//   "OrvantaAuditLog/1" LF
//   the previous row's 校验 as 64 lowercase hex digits (64 zeros for the first row) LF
//   then for each of 编号 (decimal), 时间, 操作员, 工作站, 表名, 关键字, 操作, 字段, 旧值, 新值:
//     the field's length in bytes (decimal) ":" its bytes LF   — or "-" LF for a Null
// 校验 is the lowercase hex SHA-256 of those bytes. Rows chain in the order of 编号, and the program
// numbers each new row one above the last, so 编号 runs without gaps in the rows it wrote.

#include <optional>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

namespace AuditChain {

inline const QString kHashColumn = QStringLiteral("校验");
// What the first row of a database chains from.
inline const QString kGenesis = QString(64, QLatin1Char('0'));

// The chained columns in hashing order, without 校验.
const QStringList& chainedColumns();
// The hash of one row: `fields` in the order of chainedColumns().
QString rowHash(const QString& previousHash, const QVariantList& fields);

// What the whole trail looks like at its end: noted on paper, it shows later whether rows were
// removed from the end, which the chain alone cannot tell.
struct Anchor {
    qint64 count = 0;
    QString hash;         // the last row's 校验; kGenesis for an empty trail
    QString text() const; // "count:hash"
    static std::optional<Anchor> parse(const QString& text);
};

struct Verification {
    bool intact = true;
    qint64 rowsChecked = 0;  // rows found sound, from the first on
    Anchor anchor;           // the end of the trail as found (when intact)
    qint64 brokenNumber = 0; // 编号 of the first row that does not match
    QString message;         // in the system's words: the result, or where and how the chain breaks
};

// Walks the chain from the first row; stops at the first row that does not match. When `noted`
// is given, the row at that count must still carry that hash. Throws DbError when the trail
// cannot be read.
Verification verify(QSqlDatabase db, const std::optional<Anchor>& noted = std::nullopt);

// The end of the chain new rows hang on: the last row's 编号 and 校验 (0 and kGenesis when empty).
struct ChainEnd {
    qint64 number = 0;
    QString hash;
};
// Takes the trail's write turn for the open transaction (on the server an advisory lock held to
// its end; SQLite serialises writers itself) and reads its end. Throws DbError.
ChainEnd lockChainEnd(QSqlDatabase db);

// Fills 校验 of rows written before the chain existed, in 编号 order, hanging on the chain before
// them. Only for the upgrade that runs before the append-only triggers exist. Throws DbError.
void sealUnchainedRows(QSqlDatabase db);

} // namespace AuditChain
