#pragma once
// Reviews and renewals coming due across the three registers: the one statement the reminder
// window, the login reminder and the command line share, and the counts behind the reminder.

#include "adodb.h"
#include "ListTable.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <QVector>

// One register as the due list sees it; columns it lacks are empty.
struct DueRegister {
    QString table;
    QString caption; // what the list shows in its first column
    QString keyColumn;
    QString phoneColumn;
    QString employerColumn;
    QString certificateColumn;
    QString tradeColumn; // trade, category of work or post
};

// The three date columns that fall due, with what the list calls them.
struct DueItem {
    QString column;
    QString caption;
    QDate unsetMark; // what stands in the column when no date was entered; never listed
};

const QList<DueRegister>& dueRegisters();
// A date as the engine compares it: ISO text in SQLite, a date on the server.
QVariant engineDate(const QDate& date, Connection::Engine engine);
const QList<DueItem>& dueItems();
// Nullptr for a table the due list does not know.
const DueRegister* dueRegisterByCaption(const QString& caption);

// Column positions of the due list.
namespace DueColumn {
enum { Register, Key, Name, Sex, Identity, Phone, Employer, Certificate, Trade, Item, Date, DaysLeft };
}

// The due dates asked for: an inclusive range of dates, the registers and the date columns
// (empty lists mean all), and the column the rows are ordered by.
struct DueQuery {
    enum Preset { Overdue, Within30, Within90, Range };

    QDate from;
    QDate to;
    QStringList tables;
    QStringList columns;
    int orderColumn = DueColumn::Date;
    bool descending = false;

    static DueQuery preset(Preset preset, const QDate& today);
    static DueQuery within(int days, const QDate& today);
    // "2026-12-08 至 2027-03-07"; for overdue dates "截至 2026-12-07 已过期".
    QString windowText() const;
};

// "证书到期提醒 " followed by the window.
QString dueListTitle(const DueQuery& query);
QStringList dueListHeaders();

// The statement of the due list: one row per date that falls in the window, with the days left
// from `today` (negative when overdue). Null dates never fall in a window.
Statement dueStatement(const DueQuery& query, Connection::Engine engine, const QDate& today);
// The due list read a page at a time, as the reminder window lists it: first the identities of its
// rows in the list's order, which the date indexes give alone when the order is by register, key,
// date, days or item, then the values of any run of rows by identity. The rows are those of
// dueStatement.
class DuePages {
public:
    DuePages(Connection& conn, const DueQuery& query, const QDate& today);
    qint64 count() const { return m_rows.size(); }
    // The rows from position `first` (0 is the top) as the list shows them, each marked with the
    // record and date it stands for; a row deleted meanwhile comes back without cells.
    QList<ListRow> rows(qint64 first, int count) const;
    // Where the rows of the marks stand now, in the order asked; -1 for one no longer listed.
    QList<qint64> positionsOf(const QList<qint64>& marks) const;

private:
    struct Identity {
        int part; // which register and date
        qint64 rowid;
    };
    static qint64 markOf(const Identity& identity);
    Connection& m_conn;
    DueQuery m_query;
    QDate m_today;
    QVector<Identity> m_rows;
};

// The rows the statement gives, counted by the database.
qint64 countDue(Connection& conn, const DueQuery& query);
RecordsetPtr openDueList(Connection& conn, const DueQuery& query, const QDate& today);
// The due list's columns holding `rows`.
ListTable dueListTable(QList<QStringList> rows);
// The due list as texts, the way the list shows it.
ListTable dueTable(Connection& conn, const DueQuery& query, const QDate& today);

// The certificates (records of any register) with at least one date in the window, from the row
// identities of every date of the window: cheap for the days ahead, not for all that is overdue in
// a large register (the reminder counts those from the index of each record's earliest date).
qint64 countDueCertificates(Connection& conn, const DueQuery& query);

// A record's earliest date that can fall due (from 1900 on, not the placeholder of an unset
// review), or 9999-12-31 when it has none: the expression of each register's index that the
// overdue certificates are counted from.
QString earliestDueDateSql(Connection::Engine engine);

struct DueCounts {
    qint64 within30 = 0; // dates from today up to 30 days on
    qint64 overdue = 0;  // dates before today
    qint64 certificatesWithin30 = 0;
    qint64 certificatesOverdue = 0;
};
DueCounts countReminders(Connection& conn, const QDate& today);
// "A 张证书 N 项30天内到期，B 张证书 M 项已过期", or empty when nothing is due or overdue.
QString reminderText(const DueCounts& counts);
