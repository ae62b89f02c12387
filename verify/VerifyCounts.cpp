#include "VerifyCounts.h"

#include "DbConditions.h"
#include "FileModes.h"

#include <QDate>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

constexpr int kFlushMilliseconds = 5000;

} // namespace

VerifyCounts::VerifyCounts(QObject* parent)
    : QObject(parent), m_connection(QStringLiteral("counts-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
    m_timer.setInterval(kFlushMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, [this] { flush(); });
}

VerifyCounts::~VerifyCounts() {
    flush();
    if (!QSqlDatabase::contains(m_connection)) return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString VerifyCounts::open(const QString& path) {
    if (!QFileInfo::exists(path))
        if (const QString error = createPrivateFile(path); !error.isEmpty())
            return QStringLiteral("无法建立核验次数文件 '%1'：%2").arg(path, error);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    QSqlQuery create(db);
    if (!db.open() || !create.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS 核验次数 (表名 TEXT NOT NULL, "
                                                  "关键字 TEXT NOT NULL, 次数 INTEGER NOT NULL, 最近核验 TEXT, "
                                                  "PRIMARY KEY (表名, 关键字))")))
        return QStringLiteral("无法打开核验次数文件 '%1'：%2")
            .arg(path, describeDbFailure(db.isOpen() ? create.lastError() : db.lastError(), db.driver()));
    m_timer.start();
    return {};
}

void VerifyCounts::count(const QString& table, const QString& key) {
    ++m_pending[{table, key}];
}

QString VerifyCounts::flush() {
    if (m_pending.isEmpty() || !QSqlDatabase::contains(m_connection)) return {};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) return describeDbFailure(db.lastError(), db.driver());
    QSqlQuery add(db);
    add.prepare(QStringLiteral("INSERT INTO 核验次数 (表名, 关键字, 次数, 最近核验) VALUES (?, ?, ?, ?) "
                               "ON CONFLICT (表名, 关键字) DO UPDATE SET 次数 = 次数 + excluded.次数, "
                               "最近核验 = excluded.最近核验"));
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        add.addBindValue(it.key().first);
        add.addBindValue(it.key().second);
        add.addBindValue(it.value());
        add.addBindValue(today);
        if (!add.exec()) {
            const QString error = describeDbFailure(add.lastError(), db.driver());
            db.rollback();
            return error; // kept in memory for the next try
        }
    }
    if (!db.commit()) return describeDbFailure(db.lastError(), db.driver());
    m_pending.clear();
    return {};
}

QString VerifyCounts::report() {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    QString text;
    if (!q.exec(QStringLiteral("SELECT 表名, 关键字, 次数, 最近核验 FROM 核验次数 ORDER BY 表名, 关键字"))) return text;
    while (q.next())
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString());
    return text;
}
