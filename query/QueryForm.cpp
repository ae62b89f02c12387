#include "QueryForm.h"
#include "EntryForm.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListOrder.h"
#include "ListView.h"
#include "NameCharacters.h"
#include "Schema.h"
#include "WindowHost.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabBar>

namespace {

constexpr int px(int twips) {
    return (twips + 7) / 15;
}

// The operator's text as a LIKE pattern that matches it literally anywhere inside a column.
QString containsPattern(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QString dateText(const QDate& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

QueryForm::QueryForm(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
}

void QueryForm::setUpQuery(QueryDescription description) {
    m_desc = std::move(description);
    m_list = findChild<ListView*>(QStringLiteral("LV"));
    m_viewButton = findChild<QAbstractButton*>(QStringLiteral("cmdView"));
    m_viewButton->setEnabled(false);

    connect(findChild<QAbstractButton*>(QStringLiteral("cmdFind")), &QAbstractButton::clicked, this,
            &QueryForm::cmdFind_Click);
    connect(findChild<QAbstractButton*>(QStringLiteral("cmdKong")), &QAbstractButton::clicked, this,
            &QueryForm::cmdKong_Click);
    connect(m_viewButton, &QAbstractButton::clicked, this, &QueryForm::cmdView_Click);
    connect(findChild<QAbstractButton*>(QStringLiteral("cmdClose")), &QAbstractButton::clicked, this,
            &QueryForm::cmdClose_Click);
    OnEscape(this, [this] { cmdClose_Click(); });

    connect(m_list, &ListView::mousePressed, this, [this] { gCurList = m_list; });
    connect(m_list, &ListView::rightButtonReleased, fmenu::instance(), &fmenu::popUpAt);
    connect(m_list, &ListView::rowDoubleClicked, this, &QueryForm::LV_DblClick);

    if (auto* key = findChild<QLineEdit*>(m_desc.keyBox))
        connect(key, &QLineEdit::returnPressed, this, [this] { clearAndFind(m_desc.nameBox); });
    if (auto* name = findChild<QLineEdit*>(m_desc.nameBox))
        connect(name, &QLineEdit::returnPressed, this, [this] { clearAndFind(m_desc.keyBox); });

    for (const QueryDateRange& range : m_desc.ranges) {
        auto* box = findChild<QCheckBox*>(range.checkBox);
        QWidget* from = findChild<QDateEdit*>(range.fromPicker);
        QWidget* to = findChild<QDateEdit*>(range.toPicker);
        const auto enablePickers = [from, to](bool on) {
            from->setEnabled(on);
            to->setEnabled(on);
        };
        connect(box, &QCheckBox::toggled, this, enablePickers);
        enablePickers(box->isChecked());
    }

    if (auto* tabs = findChild<QTabBar*>(QStringLiteral("tbsOptions"))) {
        connect(tabs, &QTabBar::tabBarClicked, this, &QueryForm::showTabPage);
        showTabPage(tabs->currentIndex());
    }

    for (const QString& picker : m_desc.todayAtLoad)
        findChild<QDateEdit*>(picker)->setDate(QDate::currentDate());
    loadOptionLists();
    // Every combo starts without a choice, so it adds no criterion until the operator picks one.
    for (const QueryCriterion& criterion : m_desc.criteria)
        if (auto* combo = findChild<QComboBox*>(criterion.control)) combo->setCurrentIndex(-1);
}

void QueryForm::loadOptionLists() {
    if (m_desc.optionLists.isEmpty()) return;
    // The lists are a convenience: without them the combos still take typed text.
    SkipOnError([&] {
        Recordset options;
        options.Open(QStringLiteral("List"), gConn);
        const int kind = options.fieldIndex(QStringLiteral("leixing"));
        const int content = options.fieldIndex(QStringLiteral("content"));
        for (; !options.IsEOF(); options.MoveNext()) {
            const QString category = options.Fields(kind).Value().toString();
            for (const QueryOptionList& list : m_desc.optionLists)
                if (list.leixing == category)
                    findChild<QComboBox*>(list.combo)->addItem(options.Fields(content).Value().toString());
        }
    });
}

QString QueryForm::controlText(const QString& name) const {
    if (auto* edit = findChild<QLineEdit*>(name)) return edit->text();
    if (auto* combo = findChild<QComboBox*>(name)) return combo->currentText();
    return {};
}

QString QueryForm::executedSelectList() const {
    if (m_desc.selectList != QLatin1String("*")) return m_desc.selectList;
    // The list shows field 0 and hands it to the entry form, so the key goes first whatever the
    // physical order of the columns.
    QStringList columns{m_desc.keyColumn};
    for (const ColumnDef& column : tableDef(m_desc.table).columns)
        if (column.name != m_desc.keyColumn) columns << column.name;
    return columns.join(QLatin1Char(','));
}

Statement QueryForm::buildStatement() const {
    Statement st;
    QString text = QStringLiteral("SELECT ") + m_desc.selectList + QStringLiteral(" FROM ") + m_desc.table;
    QString sql = QStringLiteral("SELECT ") + executedSelectList() + QStringLiteral(" FROM ") + m_desc.table;

    const QString key = controlText(m_desc.keyBox);
    if (!key.isEmpty()) {
        text += QStringLiteral(" WHERE (%1 = %2)").arg(m_desc.keyColumn, QuoteLiteral(key));
        sql += QStringLiteral(" WHERE (%1 = ?)").arg(m_desc.keyColumn);
        st.binds << key;
    } else {
        const QString any = QStringLiteral(" WHERE (%1 <> '')").arg(m_desc.keyColumn);
        text += any;
        sql += any;
    }

    // Access and SQL Server compare without case in LIKE; PostgreSQL needs ILIKE for that.
    const QString like =
        gConn.engine() == Connection::Engine::Postgres ? QStringLiteral("ILIKE") : QStringLiteral("LIKE");
    // A name's fragment is found from the index of the names' characters, when the database has it.
    const bool nameCharacters = NameCharacters::present(gConn.database());
    bool oneNameCharacter = false;
    for (const QueryCriterion& criterion : m_desc.criteria) {
        const QString value = controlText(criterion.control);
        if (value.isEmpty()) continue;
        if (criterion.contains) {
            text += QStringLiteral(" AND (%1 LIKE %2)")
                        .arg(criterion.column, QuoteLiteral(QLatin1Char('%') + value + QLatin1Char('%')));
            const QString test = QStringLiteral("%1 %2 ? ESCAPE '\\'").arg(criterion.column, like);
            if (nameCharacters && criterion.column == QStringLiteral("姓名")) {
                sql += QStringLiteral(" AND (%1)").arg(NameCharacters::rowsHoldingCharacters(
                    m_desc.table, value, gConn.engine(), st.binds));
                // The rows holding a single character are exactly its hits; more only narrow.
                oneNameCharacter = value.toUcs4().size() == 1;
                if (!oneNameCharacter) {
                    sql += QStringLiteral(" AND (%1)").arg(test);
                    st.binds << containsPattern(value);
                }
                continue;
            }
            if (gConn.engine() == Connection::Engine::Sqlite &&
                hasLeadingIndex(gConn, m_desc.table, criterion.column))
                // No index finds a fragment, but SQLite reads an index of the column in a fraction
                // of the pages the rows take; only the hits are then read.
                sql += QStringLiteral(" AND (rowid IN (SELECT rowid FROM %1 WHERE %2))").arg(m_desc.table, test);
            else
                sql += QStringLiteral(" AND (%1)").arg(test);
            st.binds << containsPattern(value);
        } else {
            text += QStringLiteral(" AND (%1 = %2)").arg(criterion.column, QuoteLiteral(value));
            sql += QStringLiteral(" AND (%1 = ?)").arg(criterion.column);
            st.binds << value;
        }
    }

    for (const QueryDateRange& range : m_desc.ranges) {
        if (!findChild<QCheckBox*>(range.checkBox)->isChecked()) continue;
        const QDate from = findChild<QDateEdit*>(range.fromPicker)->date();
        const QDate to = findChild<QDateEdit*>(range.toPicker)->date();
        text += QStringLiteral(" AND (%1 BETWEEN # %2 # AND # %3 #)")
                    .arg(range.column, dateText(from), dateText(to));
        sql += QStringLiteral(" AND (%1 BETWEEN ? AND ?)").arg(range.column);
        st.binds << from << to;
    }

    // A surname alone (its character the only value bound): its hits come in the window's order
    // from the index of the characters.
    if (oneNameCharacter && st.binds.size() == 1)
        st.identitySql = NameCharacters::identitiesInOrder(
            m_desc.table, m_desc.orderBy.split(QLatin1Char(',')), gConn.engine());

    text += QStringLiteral(" Order By ") + m_desc.orderBy;
    // With criteria SQLite would walk the whole order index and read every row to test them;
    // sorting only the hits is several times faster. Without criteria the index order is best.
    const bool withCriteria = !st.binds.isEmpty();
    const bool sortHits = withCriteria && gConn.engine() == Connection::Engine::Sqlite;
    sql += QStringLiteral(" ORDER BY ") + (sortHits ? QStringLiteral("+") : QString()) + m_desc.orderBy;
    st.text = text;
    st.sql = sql;
    return st;
}

void QueryForm::cmdFind_Click() {
    const Statement statement = buildStatement();
    m_statementText = statement.text;
    setCursor(Qt::WaitCursor);
    m_viewButton->setEnabled(true);
    try {
        if (!m_result) m_result = std::make_shared<Recordset>();
        if (m_result->State() == ado::adStateOpen) m_result->Close();
        m_result->Open(statement, gConn);
        m_list->setTag(m_desc.listTag);
        const qint64 count = m_result->RecordCount();
        if (count == 0) {
            m_list->clearRows();
            unsetCursor();
            MsgBox(QStringLiteral("没有找到资料!"), vb::OKOnly | vb::Information);
        } else if (count <= kOwnListLimit) {
            FillResultList(*m_result, m_list);
            if (m_list->rowCount() > 0) m_list->selectRow(0);
            m_list->setFocus();
            m_viewButton->setEnabled(true);
            unsetCursor();
        } else {
            // Too many for the own list, which keeps what it showed.
            fPView* view = fPView::instance();
            view->setStitle(m_desc.largeResultTitle);
            view->doFill(true, m_result);
            gViewTable = m_desc.table;
            unsetCursor();
        }
    } catch (const DbError& e) {
        unsetCursor();
        MsgBox(e.description, vb::OKOnly | vb::Critical);
    } catch (const std::exception& e) {
        unsetCursor();
        MsgBox(QString::fromUtf8(e.what()), vb::OKOnly | vb::Critical);
    }
}

void QueryForm::cmdKong_Click() {
    for (const QString& name : m_desc.clearedBoxes) {
        if (auto* edit = findChild<QLineEdit*>(name)) {
            edit->clear();
        } else if (auto* combo = findChild<QComboBox*>(name)) {
            combo->setCurrentIndex(-1);
            if (combo->isEditable()) combo->setEditText(QString());
        }
    }
    for (const QString& picker : m_desc.clearedToStart)
        findChild<QDateEdit*>(picker)->setDate(designStartDate());
    for (const QString& picker : m_desc.clearedToToday)
        findChild<QDateEdit*>(picker)->setDate(QDate::currentDate());
    m_list->clearRows();
}

void QueryForm::cmdView_Click() {
    m_viewButton->setEnabled(false);
    if (!m_result) return;
    SkipOnError([&] { resetHiddenColumns(m_result->FieldCount()); });
    fPView* view = fPView::instance();
    view->setCursor(Qt::WaitCursor);
    view->setStitle(QStringLiteral("查询结果"));
    view->doFill(true, m_result);
    ShowForm(view);
    view->unsetCursor();
}

void QueryForm::cmdClose_Click() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void QueryForm::closeEvent(QCloseEvent* event) {
    // The window goes for good; its MDI frame goes with it.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void QueryForm::LV_DblClick() {
    const int row = m_list->currentRow();
    if (row < 0) return;
    const QString key = m_list->text(row);
    SkipOnError([&] {
        // The entry form is loaded first: its load reopens the register at the first row.
        EntryForm* entry = entryForm();
        if (!entry->bFind(key)) return;
        entry->Splash();
        ShowForm(entry);
    });
}

void QueryForm::clearAndFind(const QString& other) {
    if (auto* edit = findChild<QLineEdit*>(other)) edit->clear();
    cmdFind_Click();
}

void QueryForm::showTabPage(int tab) {
    for (int i = 0;; ++i) {
        QWidget* page = findChild<QWidget*>(QStringLiteral("PicOptions_%1").arg(i));
        if (!page) break;
        page->setVisible(i == tab);
    }
}

void QueryForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!m_list) return;
    const int width = std::max(0, this->width() - m_list->x());
    const int height = std::max(0, this->height() - m_list->y() - px(50));
    m_list->resize(width, height);
}
