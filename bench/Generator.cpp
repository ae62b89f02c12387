#include "Generator.h"

#include "NameCharacters.h"

#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QtEndian>
#include <QVector>

#include <algorithm>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

const QStringList kSurnames =
    QString::fromUtf8("王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 "
                      "邓 曹 彭 曾 肖 田 董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈")
        .split(QLatin1Char(' '));
const QString kGivenChars = QString::fromUtf8("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国建华"
                                              "志强文俊海燕红梅玉兰晓东晓明春梅金凤德明永刚宏伟");
const QStringList kEducation =
    QString::fromUtf8("小学 初中 高中 中专 技校 大专 本科").split(QLatin1Char(' '));
const QStringList kTrades =
    QString::fromUtf8("电工 焊工 架子工 起重工 司炉工 电梯操作工 压力容器操作工").split(QLatin1Char(' '));
const QStringList kLevels = QString::fromUtf8("初级 中级 高级 技师 高级技师").split(QLatin1Char(' '));
const QStringList kRegions = {QStringLiteral("110101"), QStringLiteral("310104"), QStringLiteral("440106"),
                              QStringLiteral("320102"), QStringLiteral("510104"), QStringLiteral("420102")};

const QString kColumns =
    QStringLiteral("证号, 姓名, 性别, 出生年月, 照片, 身份证号, 理论成绩, 证书编号, 文化程度, "
                   "实操成绩, 评定成绩, 发证日期, 一次复审, 二次复审, 换证日期, 职业工种, "
                   "证书级别, 备注");
constexpr int kColumnCount = 18;
// Rows per transaction (SQLite) or per COPY (server).
constexpr qint64 kBatch = 100000;

QString identityNumber(QRandomGenerator& random, const QDate& birth) {
    QString body = kRegions[random.bounded(kRegions.size())] + birth.toString(QStringLiteral("yyyyMMdd")) +
                   QStringLiteral("%1").arg(random.bounded(1000), 3, 10, QLatin1Char('0'));
    static const int weights[] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += body[i].digitValue() * weights[i];
    return body + QStringLiteral("10X98765432").at(sum % 11);
}

QDate dateBetween(QRandomGenerator& random, const QDate& from, int days) {
    return from.addDays(random.bounded(days));
}

// A few distinct photos of about 4 KB, reused across records.
QVector<QByteArray> makePhotos(QRandomGenerator& random) {
    QVector<QByteArray> photos;
    for (int n = 0; n < 6; ++n) {
        QImage image(132, 160, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y,
                               qRgb((x * 2 + n * 40) % 256, (y + random.bounded(48)) % 256, (x + y) % 256));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 70);
        photos.append(bytes);
    }
    return photos;
}

// One column's value: text (UTF-8), a date, a photo, or empty (NULL).
struct Value {
    enum Kind { Null, Text, Date, Photo } kind = Null;
    QByteArray text;
    QDate date;
    const QByteArray* photo = nullptr;
};

Value text(const QString& s) {
    return {Value::Text, s.toUtf8(), {}, nullptr};
}
Value date(const QDate& d) {
    return {Value::Date, {}, d, nullptr};
}

// The certificates in the order of a seed, the same on both engines.
class Certificates {
public:
    explicit Certificates(const GeneratorOptions& options)
        : m_random(options.seed), m_photos(makePhotos(m_random)), m_photoShare(options.photoShare) {}

    // The values of certificate i, in the order of kColumns. The draws come in a fixed order, so
    // a seed gives the same register every time.
    void next(qint64 i, Value (&row)[kColumnCount]) {
        const QDate issued = dateBetween(m_random, QDate(2006, 1, 1), 20 * 365);
        const QDate birth = dateBetween(m_random, QDate(1955, 1, 1), 45 * 365);
        // Keys the office really types: year-number pairs and plain numbers.
        const QString key = i % 3 == 0
                                ? QStringLiteral("%1-%2").arg(issued.year()).arg(i, 7, 10, QLatin1Char('0'))
                                : QString::number(100000 + i);
        QString name = kSurnames[m_random.bounded(kSurnames.size())];
        for (int c = 0, n = 1 + m_random.bounded(2); c < n; ++c)
            name += kGivenChars[m_random.bounded(kGivenChars.size())];
        const bool withPhoto = m_random.generateDouble() < m_photoShare;
        row[0] = text(key);
        row[1] = text(name);
        row[2] = text(m_random.bounded(4) == 0 ? QStringLiteral("女") : QStringLiteral("男"));
        row[3] = date(birth);
        row[4] =
            withPhoto ? Value{Value::Photo, {}, {}, &m_photos[m_random.bounded(m_photos.size())]} : Value{};
        row[5] = text(identityNumber(m_random, birth));
        row[6] = text(QString::number(60 + m_random.bounded(41)));
        row[7] = text(QStringLiteral("ZS%1").arg(i, 8, 10, QLatin1Char('0')));
        row[8] = text(kEducation[m_random.bounded(kEducation.size())]);
        row[9] = text(QString::number(60 + m_random.bounded(41)));
        row[10] = text(m_random.bounded(10) == 0 ? QStringLiteral("不合格") : QStringLiteral("合格"));
        row[11] = date(issued);
        row[12] = date(issued.addYears(3));
        row[13] = date(issued.addYears(6));
        row[14] = date(issued.addYears(9));
        row[15] = text(kTrades[m_random.bounded(kTrades.size())]);
        row[16] = text(kLevels[m_random.bounded(kLevels.size())]);
        row[17] = m_random.bounded(20) == 0 ? text(QStringLiteral("补证")) : Value{};
    }

private:
    QRandomGenerator m_random;
    const QVector<QByteArray> m_photos;
    const double m_photoShare;
};

QString runAll(QSqlDatabase db, const QStringList& statements) {
    QSqlQuery q(db);
    for (const QString& statement : statements)
        if (!q.exec(statement))
            return q.lastError().text() + QStringLiteral(" [") + statement + QLatin1Char(']');
    return {};
}

// The register's own indexes are built once after the rows are in, from a sort, instead of being
// kept up row by row (at 10,000,000 rows that is most of the time). The keys' unique indexes stay,
// so a duplicate key is still refused as it is written. Returns the statements that rebuild them
// exactly as they were, in the order they were made.
QStringList dropRegisterIndexes(QSqlDatabase db, bool postgres, QString& error) {
    QSqlQuery q(db);
    const QString sql =
        postgres ? QStringLiteral("SELECT i.relname, pg_get_indexdef(i.oid) FROM pg_index x "
                                  "JOIN pg_class i ON i.oid = x.indexrelid "
                                  "WHERE x.indrelid = 'DangAnKu'::regclass AND NOT EXISTS "
                                  "(SELECT 1 FROM pg_constraint c WHERE c.conindid = x.indexrelid) "
                                  "ORDER BY i.oid")
                 : QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                                  "tbl_name = 'DangAnKu' AND sql IS NOT NULL ORDER BY rowid");
    QStringList drops, rebuilds;
    if (!q.exec(sql)) {
        error = q.lastError().text();
        return {};
    }
    while (q.next()) {
        drops << QStringLiteral("DROP INDEX \"%1\"").arg(q.value(0).toString());
        rebuilds << q.value(1).toString();
    }
    error = runAll(db, drops);
    return rebuilds;
}

// SQLite through its own interface: binding 18 values per row through the driver's variants
// costs more than the writing itself.
QString fillLocal(QSqlDatabase db, Certificates& certificates, qint64 records) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0) return QStringLiteral("not an SQLite connection");
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.data());
    const QByteArray sql =
        QStringLiteral("INSERT INTO DangAnKu (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
            .arg(kColumns)
            .toUtf8();
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(connection, sql.constData(), int(sql.size()), &insert, nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(connection));
    const auto failure = [&] {
        const QString message = QString::fromUtf8(sqlite3_errmsg(connection));
        sqlite3_finalize(insert);
        return message;
    };
    Value row[kColumnCount];
    for (qint64 i = 0; i < records; ++i) {
        if (i % kBatch == 0 && sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failure();
        certificates.next(i, row);
        for (int c = 0; c < kColumnCount; ++c) {
            const Value& v = row[c];
            if (v.kind == Value::Text) {
                sqlite3_bind_text(insert, c + 1, v.text.constData(), int(v.text.size()), SQLITE_TRANSIENT);
            } else if (v.kind == Value::Date) {
                const QByteArray iso = v.date.toString(Qt::ISODate).toLatin1();
                sqlite3_bind_text(insert, c + 1, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
            } else if (v.kind == Value::Photo) {
                sqlite3_bind_blob(insert, c + 1, v.photo->constData(), int(v.photo->size()), SQLITE_STATIC);
            } else {
                sqlite3_bind_null(insert, c + 1);
            }
        }
        if (sqlite3_step(insert) != SQLITE_DONE) return failure();
        sqlite3_reset(insert);
        if (((i + 1) % kBatch == 0 || i + 1 == records) &&
            sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failure();
    }
    sqlite3_finalize(insert);
    return {};
}

void appendInt16(QByteArray& out, qint16 value) {
    const qint16 big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}
void appendInt32(QByteArray& out, qint32 value) {
    const qint32 big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), sizeof big);
}

// The server through COPY in its binary format: each value as its length and bytes, a date as
// days from 2000-01-01. Nothing to quote or escape, and the photos go as they are.
QString fillServer(QSqlDatabase db, Certificates& certificates, qint64 records) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return QStringLiteral("not a PostgreSQL connection");
    PGconn* connection = *static_cast<PGconn* const*>(handle.data());
    const QByteArray copy =
        QStringLiteral("COPY DangAnKu (%1) FROM STDIN (FORMAT binary)").arg(kColumns).toUtf8();
    const qint64 epoch = QDate(2000, 1, 1).toJulianDay();
    const auto serverError = [connection] { return QString::fromUtf8(PQerrorMessage(connection)).trimmed(); };
    Value row[kColumnCount];
    QByteArray buffer;
    for (qint64 from = 0; from < records; from += kBatch) {
        PGresult* started = PQexec(connection, copy.constData());
        const bool copying = PQresultStatus(started) == PGRES_COPY_IN;
        PQclear(started);
        if (!copying) return serverError();
        buffer = QByteArrayLiteral("PGCOPY\n\377\r\n\0");
        appendInt32(buffer, 0); // flags
        appendInt32(buffer, 0); // header extension
        for (qint64 i = from; i < std::min(records, from + kBatch); ++i) {
            certificates.next(i, row);
            appendInt16(buffer, kColumnCount);
            for (const Value& v : row) {
                if (v.kind == Value::Text) {
                    appendInt32(buffer, qint32(v.text.size()));
                    buffer.append(v.text);
                } else if (v.kind == Value::Date) {
                    appendInt32(buffer, 4);
                    appendInt32(buffer, qint32(v.date.toJulianDay() - epoch));
                } else if (v.kind == Value::Photo) {
                    appendInt32(buffer, qint32(v.photo->size()));
                    buffer.append(*v.photo);
                } else {
                    appendInt32(buffer, -1);
                }
            }
            if (buffer.size() >= (1 << 20)) {
                if (PQputCopyData(connection, buffer.constData(), int(buffer.size())) != 1)
                    return serverError();
                buffer.resize(0);
            }
        }
        appendInt16(buffer, -1); // end of the rows
        if (PQputCopyData(connection, buffer.constData(), int(buffer.size())) != 1 ||
            PQputCopyEnd(connection, nullptr) != 1)
            return serverError();
        QString error;
        while (PGresult* result = PQgetResult(connection)) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK && error.isEmpty())
                error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
            PQclear(result);
        }
        if (!error.isEmpty()) return error;
    }
    return {};
}

} // namespace

QString generateCertificates(QSqlDatabase db, bool postgres, const GeneratorOptions& options) {
    // Sorting for the indexes' builds: the server's default of 64 MB sorts 10,000,000 keys on disk.
    const QString tuning =
        runAll(db, postgres ? QStringList{QStringLiteral("SET maintenance_work_mem = '512MB'")}
                            // The file is thrown away unless it is complete; only the last commit,
                            // which builds the indexes, waits for the disk.
                            : QStringList{QStringLiteral("PRAGMA synchronous = OFF"),
                                          QStringLiteral("PRAGMA cache_size = -524288")});
    if (!tuning.isEmpty()) return tuning;
    QString error;
    const QStringList rebuilds = dropRegisterIndexes(db, postgres, error);
    if (!error.isEmpty()) return error;
    const SqlDialect dialect = postgres ? SqlDialect::Postgres : SqlDialect::Sqlite;
    error = runAll(db, NameCharacters::bulkLoadStatements(dialect));
    if (!error.isEmpty()) return error;
    Certificates certificates(options);
    error = postgres ? fillServer(db, certificates, options.records)
                     : fillLocal(db, certificates, options.records);
    if (!error.isEmpty()) return error;
    if (!postgres && !QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return db.lastError().text();
    if (!db.transaction()) return db.lastError().text();
    error = runAll(db, rebuilds + NameCharacters::statements(dialect));
    if (!error.isEmpty()) {
        db.rollback();
        return error;
    }
    return db.commit() ? QString() : db.lastError().text();
}
