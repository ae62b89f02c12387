#include "EntryForm.h"

#include "basFile.h"
#include "basGlobal.h"
#include "basime.h"
#include "basSub.h"
#include "DatePicker.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "fHeYanMa.h"
#include "fPic.h"
#include "fPView.h"
#include "IdentityNumber.h"
#include "modPrintOut.h"
#include "PhotoBox.h"
#include "Schema.h"
#include "VerifyTokens.h"
#include "settings.h"
#include "WidgetDialogs.h"
#include "WindowHost.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The database keeps refusing a renumbered key only when another unique index is violated;
// give up after this many numbers instead of looping for ever.
constexpr int kRenumberAttempts = 50;

const QString kAdd = QStringLiteral("新增 &A");
const QString kEdit = QStringLiteral("修改 &E");
const QString kConfirm = QStringLiteral("确定 &O");
const QString kIdentityKeys = QStringLiteral("0123456789.。-");
const QString kChangedElsewhere =
    QStringLiteral("该记录已被其他用户修改。选‘是’用您输入的内容覆盖，选‘否’放弃您的修改并显示最新内容");
const QString kDeletedElsewhere = QStringLiteral("该记录已被其他用户删除，您的修改无法保存。");
const QString kBothChanged = QStringLiteral("\n\n以下项目您和其他用户都修改了，选‘是’将保存您的内容：");
// The text columns hold far more than the 32,767 characters a box takes by default.
constexpr int kBoxCapacity = std::numeric_limits<int>::max();
// How much of a value a question shows.
constexpr qsizetype kQuotedLength = 40;
// What an operator without the entry right cannot press, however he reached the form.
const char* const kChangingButtons[] = {"cmdNew",  "cmdEdit",    "cmdDelete",
                                        "cmdSave", "cmdZhiZhao", "cmdDelPic"};

bool isTextControl(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w);
}

QString quoted(const QString& value) {
    const QString shown =
        value.size() > kQuotedLength ? value.left(kQuotedLength) + QStringLiteral("…") : value;
    return QStringLiteral("“") + shown + QStringLiteral("”");
}

} // namespace

EntryForm::EntryForm(const RegisterDef& def, QWidget* parent) : QWidget(parent), m_def(def) {}

EntryForm::~EntryForm() {
    // The program may end with the form still open.
    SkipOnError([&] { storeCounter(m_nMaxNum); });
    if (m_rMain) m_rMain->setMoveObserver({});
}

QWidget* EntryForm::control(const QString& name) const {
    return findChild<QWidget*>(name);
}

QPushButton* EntryForm::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

QString EntryForm::keyText() const {
    return ControlText(control(QStringLiteral("txtBanHao")));
}

QString EntryForm::shownStoredKey() const {
    return m_mode == Browsing && m_shownRow ? keyText() : QString();
}

double EntryForm::LeadingNumber(const QString& text) {
    // Hand-written: it runs once per stored key when the next number is computed.
    QByteArray compact;
    compact.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == QLatin1Char(' ') || ch == QLatin1Char('\t') || ch == QLatin1Char('\n')) continue;
        if (ch.unicode() > 127) break;
        compact.append(char(ch.unicode()));
    }
    qsizetype i = 0;
    const qsizetype n = compact.size();
    const auto digitsFrom = [&](qsizetype at) {
        qsizetype end = at;
        while (end < n && std::isdigit(static_cast<unsigned char>(compact[end])))
            ++end;
        return end;
    };
    if (i < n && (compact[i] == '+' || compact[i] == '-')) ++i;
    const qsizetype intEnd = digitsFrom(i);
    qsizetype end = intEnd;
    if (end < n && compact[end] == '.') end = digitsFrom(end + 1);
    if (end == i || (intEnd == i && end == i + 1)) // no digit at all
        return 0;
    if (end < n &&
        (compact[end] == 'e' || compact[end] == 'E' || compact[end] == 'd' || compact[end] == 'D')) {
        qsizetype exp = end + 1;
        if (exp < n && (compact[exp] == '+' || compact[exp] == '-')) ++exp;
        const qsizetype expEnd = digitsFrom(exp);
        if (expEnd > exp) {
            compact[end] = 'e';
            end = expEnd;
        }
    }
    bool ok = false;
    const double value = compact.left(end).toDouble(&ok);
    return ok ? value : 0;
}

QString EntryForm::NumberText(double value) {
    return QString::number(value, 'g', 15);
}

void EntryForm::Form_Load() {
    setWindowTitle(m_def.caption);
    m_photo = findChild<PhotoBox*>(QStringLiteral("imgZhaoPian"));
    m_lblNum = findChild<QLabel*>(QStringLiteral("lblNum"));
    m_txtSfz = control(QStringLiteral("txtSfz"));
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    const std::pair<const char*, void (EntryForm::*)()> handlers[] = {
        {"cmdNew", &EntryForm::cmdNew_Click},       {"cmdEdit", &EntryForm::cmdEdit_Click},
        {"cmdSave", &EntryForm::cmdSave_Click},     {"cmdCancel", &EntryForm::cmdCancel_Click},
        {"cmdDelete", &EntryForm::cmdDelete_Click}, {"cmdFind", &EntryForm::cmdFind_Click},
        {"cmdList", &EntryForm::cmdList_Click},     {"cmdQuery", &EntryForm::cmdQuery_Click},
        {"cmdPrint", &EntryForm::cmdPrint_Click},   {"cmdZhiZhao", &EntryForm::cmdZhiZhao_Click},
        {"cmdDelPic", &EntryForm::cmdDelPic_Click}, {"cmdHeYanMa", &EntryForm::cmdHeYanMa_Click}};
    for (const auto& [name, handler] : handlers)
        if (QPushButton* b = button(name)) connect(b, &QPushButton::clicked, this, handler);
    if (m_photo) connect(m_photo, &PhotoBox::doubleClicked, this, &EntryForm::imgZhaoPian_DblClick);
    if (auto* sfz = qobject_cast<QLineEdit*>(m_txtSfz))
        connect(sfz, &QLineEdit::textChanged, this, [this, sfz](const QString& text) {
            // The check character is stored as a capital, however it was typed or pasted.
            if (text.contains(QLatin1Char('x'))) {
                const int cursor = sfz->cursorPosition();
                sfz->setText(text.toUpper());
                sfz->setCursorPosition(cursor);
                return;
            }
            if (m_txtSfz->isEnabled()) showIdentityNote(IdentityLengthNote(text));
        });
    if (auto* sex = findChild<QComboBox*>(QStringLiteral("cboSex")); sex && sex->count() == 0)
        sex->addItems({QStringLiteral("男"), QStringLiteral("女")});
    for (const BoundField& field : m_def.fields) {
        QWidget* w = control(field.control);
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (auto* combo = qobject_cast<QComboBox*>(w)) edit = combo->lineEdit();
        if (edit) edit->setMaxLength(kBoxCapacity);
    }

    SkipOnError([&] { AutoSizeForm(this); });
    if (m_lblNum) m_lblNumPlace = m_lblNum->geometry();
    SkipOnError([&] {
        m_rMain = std::make_shared<Recordset>();
        m_rMain->Open(m_def.table, gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        // The list window pages this very set: the form follows, once the paging is done.
        m_rMain->setMoveObserver([form = QPointer<EntryForm>(this)] {
            if (!form || form->m_showQueued) return;
            form->m_showQueued = true;
            QTimer::singleShot(0, form, [form] {
                form->m_showQueued = false;
                form->showCurrentRowIfMoved();
            });
        });
    });
    SkipOnError([&] {
        if (m_rMain->RecordCount() >= 1) {
            m_rMain->MoveNext();
            m_rMain->MovePrevious();
        }
    });
    SkipOnError([&] { SetMode(Browsing); });
    SkipOnError([&] { loadOptionLists(); });
    SkipOnError([&] {
        if (m_nMaxNum == 0)
            m_nMaxNum = GetSetting(ExeName(), QStringLiteral("system"), m_def.counterKey, QStringLiteral("0"))
                            .trimmed()
                            .toDouble(); // not a number: 0
        if (m_nMaxNum == 0) GetMaxNum();
    });
}

void EntryForm::loadOptionLists() {
    Recordset options;
    options.Open(QStringLiteral("List"), gConn);
    for (; !options.IsEOF(); options.MoveNext()) {
        const QString category = options.Fields(QStringLiteral("leixing")).Value().toString();
        for (const OptionCombo& combo : m_def.optionCombos) {
            auto* box = findChild<QComboBox*>(combo.control);
            if (!box || combo.category != category) continue;
            // Adding an item must not change the text the box already shows.
            const QString shown = box->currentText();
            box->addItem(options.Fields(QStringLiteral("content")).Value().toString());
            box->setEditText(shown);
        }
    }
}

void EntryForm::GetMaxNum() {
    // The largest leading number comes from the top of its index; a value beyond a double's range
    // counts as 0, as LeadingNumber reads it.
    const SqlDialect dialect =
        gConn.engine() == Connection::Engine::Postgres ? SqlDialect::Postgres : SqlDialect::Sqlite;
    const QString number = keyNumberExpression(m_def.keyColumn, dialect);
    double largest = 0;
    ForEachRow(gConn,
               Statement{m_def.table,
                         QStringLiteral(
                             "SELECT %1 FROM %2 WHERE %1 < 1.7976931348623157e308 ORDER BY %1 DESC LIMIT 1")
                             .arg(number, m_def.table),
                         {}},
               [&](const QVariantList& row) { largest = row.value(0).toDouble(); });
    m_nMaxNum = std::max(largest, 0.0) + 1;
}

void EntryForm::storeCounter(double value) {
    SaveSetting(ExeName(), QStringLiteral("system"), m_def.counterKey, NumberText(value));
}

void EntryForm::SetMode(int mode) {
    m_mode = mode;
    const auto count = [this]() -> qint64 { return m_rMain ? m_rMain->RecordCount() : 0; };
    SkipOnError([&] { ControlsEnabled(mode != Browsing); });
    SkipOnError([&] {
        if (mode == Browsing) {
            button("cmdNew")->setText(kAdd);
            button("cmdEdit")->setText(kEdit);
        } else {
            button(mode == Adding ? "cmdNew" : "cmdEdit")->setText(kConfirm);
        }
    });
    SkipOnError([&] {
        if (mode == Browsing) {
            if (count() != 0)
                Splash();
            else
                ClearTxt();
        }
    });
    SkipOnError([&] { button("cmdNew")->setEnabled(mode != Editing); });
    SkipOnError([&] { button("cmdCancel")->setEnabled(mode == Adding); });
    SkipOnError([&] {
        const bool browsingRecords = mode == Browsing && count() != 0;
        for (const char* name : {"cmdDelete", "cmdFind", "cmdList", "cmdPrint", "cmdHeYanMa"})
            button(name)->setEnabled(browsingRecords);
        // While editing, "确定" on the edit button is the way to save. Never disabled on the way
        // there, or the focus would jump to the next button.
        button("cmdEdit")->setEnabled(browsingRecords || mode == Editing);
    });
    SkipOnError([&] { button("cmdSave")->setEnabled(mode == Adding); });
    SkipOnError([&] {
        if (mode == Browsing) button("cmdNew")->setFocus();
    });
    lockWhenViewOnly();
}

bool EntryForm::viewOnly() const {
    return LacksRight(kEntryRight);
}

// Each change asks for the right as stored now: one taken away at another desk is refused with the
// standard message, and what was typed stays in the form.
bool EntryForm::refusedWithoutEntryRight() {
    if (CheckRight(kEntryRight)) return false;
    lockWhenViewOnly();
    return true;
}

void EntryForm::lockWhenViewOnly() {
    const bool locked = viewOnly();
    setWindowTitle(locked ? m_def.caption + QStringLiteral("（只能查看）") : m_def.caption);
    if (!locked) return;
    for (const char* name : kChangingButtons)
        if (QPushButton* b = button(name)) b->setEnabled(false);
}

void EntryForm::ControlsEnabled(bool bEnabled) {
    for (const BoundField& field : m_def.fields) {
        QWidget* w = control(field.control);
        if (!w || w == m_photo) continue;
        if (isTextControl(w)) {
            QPalette palette = w->palette();
            const QColor background = bEnabled ? QColor(Qt::white) : this->palette().color(QPalette::Window);
            palette.setColor(QPalette::Active, QPalette::Base, background);
            palette.setColor(QPalette::Inactive, QPalette::Base, background);
            palette.setColor(QPalette::Disabled, QPalette::Base, background);
            w->setPalette(palette);
        }
        w->setEnabled(bEnabled);
    }
    for (const char* name : {"cmdDelPic", "cmdZhiZhao"})
        if (QPushButton* b = button(name)) b->setEnabled(bEnabled);
}

void EntryForm::ClearTxt() {
    for (const ClearRule& rule : m_def.clearRules) {
        QWidget* w = control(rule.control);
        if (!w) continue;
        switch (rule.action) {
        case ClearRule::EmptyText:
            SetControlText(w, QString());
            break;
        case ClearRule::NoSelection:
            if (auto* box = qobject_cast<QComboBox*>(w)) box->setCurrentIndex(-1);
            break;
        case ClearRule::FixedDate:
            static_cast<DatePicker*>(w)->setValue(rule.date);
            break;
        case ClearRule::Today:
            static_cast<DatePicker*>(w)->setValue(QDate::currentDate());
            break;
        case ClearRule::NoDate:
            static_cast<DatePicker*>(w)->setNull();
            break;
        }
    }
    if (m_photo) {
        m_photo->clearPicture();
        SetControlTag(m_photo, QString());
    }
    m_shownPhoto.clear();
    m_shownRow.reset();
}

void EntryForm::ClearTag() {
    for (const BoundField& field : m_def.fields)
        if (QWidget* w = control(field.control);
            w && w != m_photo && !m_def.marksKept.contains(field.control))
            SetControlTag(w, QString());
}

void EntryForm::showColumn(const BoundField& field) {
    QWidget* w = control(field.control);
    Field column = m_rMain->Fields(field.column);
    if (w == m_photo) {
        FieldToPicture(column, m_photo);
        SetControlTag(m_photo, QString());
        m_shownPhoto = column.Value().toByteArray();
        m_shownHoldsPhoto = m_photo->holdsPhoto();
        return;
    }
    m_readValues.insert(w, storedValue(field));
    if (auto* date = qobject_cast<DatePicker*>(w)) {
        date->setValue(column.Value());
    } else if (field.column == m_def.nameFilledColumn) {
        // An empty memo takes the name shown; the change waits for the next update or move, and
        // is dropped when it cannot be stored there (changed elsewhere, a read-only file).
        if (column.ActualSize() == 0 && !viewOnly()) {
            column.AppendChunk(ControlText(control(QStringLiteral("txtMingCheng"))));
            m_rMain->markChangeOptional();
        }
        SetControlText(w, column.Value().toString());
    } else {
        const QString full = column.Value().toString();
        SetControlText(w, full);
        if (const QString shown = ControlText(w); shown.size() < full.size() && full.startsWith(shown))
            m_shortened.insert(w, full.size());
    }
    m_shownValues.insert(w, boxValue(field));
}

void EntryForm::Splash() {
    m_shownRow = currentRow();
    m_shownValues.clear();
    m_readValues.clear();
    m_shortened.clear();
    m_shownPhoto.clear();
    m_shownHoldsPhoto = false;
    for (const BoundField& field : m_def.fields)
        SkipOnError([&] { showColumn(field); });
}

QString EntryForm::boxValue(const BoundField& field) const {
    return ControlText(control(field.control));
}

QString EntryForm::storedValue(const BoundField& field) {
    const QVariant value = m_rMain->Fields(field.column).Value();
    if (qobject_cast<DatePicker*>(control(field.control)))
        return value.isNull() ? QString() : value.toDate().toString(Qt::ISODate);
    return value.toString();
}

bool EntryForm::changedHere(const BoundField& field) const {
    QWidget* w = control(field.control);
    if (!w) return false;
    if (w == m_photo) return !ControlTag(m_photo).isEmpty() || m_photo->holdsPhoto() != m_shownHoldsPhoto;
    return boxValue(field) != m_shownValues.value(w);
}

QList<std::pair<BoundField, QString>> EntryForm::changedElsewhere() {
    QList<std::pair<BoundField, QString>> changed;
    for (const BoundField& field : m_def.fields) {
        QWidget* w = control(field.control);
        if (!w || w == m_photo) continue;
        SkipOnError([&] {
            const QString now = storedValue(field);
            if (now != m_readValues.value(w)) changed.append({field, now});
        });
    }
    return changed;
}

bool EntryForm::shorteningAccepted() {
    for (const BoundField& field : m_def.fields) {
        QWidget* w = control(field.control);
        if (!m_shortened.contains(w) || !changedHere(field)) continue;
        const QString question =
            QStringLiteral("“%1”原有 %2 个字，框内只显示了前 %3 个字，保存后只留下框内的 %4 个字。是否保存？")
                .arg(field.column)
                .arg(m_shortened.value(w))
                .arg(m_shownValues.value(w).size())
                .arg(ControlText(w).size());
        if (MsgBox(question, vb::YesNo | vb::Exclamation | vb::DefaultButton2) != vb::Yes) {
            w->setFocus();
            return false;
        }
    }
    return true;
}

std::optional<Recordset::Bookmark> EntryForm::currentRow() const {
    std::optional<Recordset::Bookmark> row;
    SkipOnError([&] {
        if (m_rMain && !m_rMain->IsEOF() && !m_rMain->IsBOF()) row = m_rMain->bookmark();
    });
    return row;
}

bool EntryForm::returnToShownRow() {
    if (!m_shownRow) return false;
    if (currentRow() == m_shownRow) return true;
    return SkipOnError([&] { m_rMain->setBookmark(*m_shownRow); });
}

// Only the fields: the focus stays in the window that moved the set.
void EntryForm::showCurrentRowIfMoved() {
    if (m_mode == Browsing && currentRow() && currentRow() != m_shownRow) Splash();
}

void EntryForm::moveOffRemovedRow() {
    m_rMain->MoveNext();
    if (m_rMain->IsEOF() && m_rMain->RecordCount() != 0) m_rMain->MoveFirst();
}

void EntryForm::showStoredRow() {
    SkipOnError([&] { m_rMain->CancelUpdate(); });
    bool stillStored = true;
    SkipOnError([&] { stillStored = m_rMain->Resync(); });
    if (!stillStored) SkipOnError([&] { moveOffRemovedRow(); });
    SetMode(Browsing);
}

void EntryForm::writeColumn(const BoundField& field) {
    QWidget* w = control(field.control);
    Field column = m_rMain->Fields(field.column);
    if (w == m_photo) {
        if (!m_photo->holdsPhoto())
            column.setValue(QVariant());
        else if (!ControlTag(m_photo).isEmpty())
            FileToField(column, ControlTag(m_photo));
        else if (m_rMain->EditMode() == ado::adEditAdd && !m_shownPhoto.isEmpty())
            column.setValue(m_shownPhoto); // a record stored again after it was deleted elsewhere
    } else if (auto* date = qobject_cast<DatePicker*>(w)) {
        column.setValue(date->value());
    } else if (m_shortened.contains(w) && !changedHere(field)) {
        column.setValue(m_readValues.value(w)); // never the part the box could show
    } else {
        // An empty memo takes the name. The box holds the whole memo, so its text replaces what is
        // stored: appended to the name that showing the record left pending, the name would double.
        if (field.column == m_def.nameFilledColumn && ControlText(w).isEmpty())
            SetControlText(w, ControlText(control(QStringLiteral("txtMingCheng"))));
        // A combo with nothing chosen has a null text; stored, like every empty box, as empty text.
        const QString text = ControlText(w);
        column.setValue(text.isNull() ? QStringLiteral("") : text);
    }
}

void EntryForm::writeColumns(bool onlyChangedHere) {
    for (const BoundField& field : m_def.fields)
        if (!onlyChangedHere || changedHere(field)) ShowErrorAndGoOn([&] { writeColumn(field); });
}

bool EntryForm::updateRenumberingDuplicates() {
    for (int attempt = 0;; ++attempt) {
        try {
            m_rMain->Update();
            return true;
        } catch (const DbError& error) {
            if (error.number != DbErrorCode::DuplicateKey) {
                MsgBox(error.description, vb::Exclamation);
                return false;
            }
            // Still refused after as many numbers: told in the system's words for a duplicate,
            // not the engine's.
            if (attempt == kRenumberAttempts) {
                ReportDbError(error.number, error.description);
                return false;
            }
            // Another desk took the number: take the next one and try again.
            m_nMaxNum += 1;
            if (!ShowErrorAndGoOn([&] {
                    m_rMain->Fields(m_def.keyColumn).setValue(NumberText(m_nMaxNum));
                    storeCounter(m_nMaxNum + 1);
                }))
                return false;
        }
    }
}

// Renumbering is for new records only: an edit never changes a key the operator did not type.
bool EntryForm::UpdateField() {
    if (m_rMain->EditMode() != ado::adEditAdd) return storeEdit();
    writeColumns(false);
    return updateRenumberingDuplicates();
}

// Writes the fields changed here, nothing else: a field this desk did not touch keeps what is
// stored, whoever wrote it. Refused, the values typed stay in the form; changed at another desk,
// the operator decides, told which fields both desks changed.
bool EntryForm::storeEdit() {
    if (!shorteningAccepted()) return false;
    for (;;) {
        writeColumns(true);
        try {
            m_rMain->Update();
            return true;
        } catch (const DbError& error) {
            SkipOnError([&] { m_rMain->CancelUpdate(); });
            if (error.number == DbErrorCode::DuplicateKey) {
                ReportDbError(error.number, error.description);
                return false;
            }
            if (error.number != DbErrorCode::WriteConflict) {
                MsgBox(error.description, vb::Exclamation);
                return false;
            }
        }
        bool stillStored = false;
        SkipOnError([&] { stillStored = m_rMain->Resync(); });
        if (!stillStored) return storeAsNewRecord();
        QString question = kChangedElsewhere;
        QStringList both;
        for (const auto& [field, theirs] : changedElsewhere()) {
            m_readValues.insert(control(field.control), theirs);
            if (changedHere(field) && boxValue(field) != theirs)
                both << QStringLiteral("%1：其他用户改为%2，您改为%3")
                            .arg(field.column, quoted(theirs), quoted(boxValue(field)));
        }
        if (!both.isEmpty()) question += kBothChanged + QLatin1Char('\n') + both.join(QLatin1Char('\n'));
        // Yes: the next round writes the fields changed here over the row as it is stored now.
        if (MsgBox(question, vb::YesNo | vb::Exclamation) == vb::Yes) continue;
        // No: what is stored when answered, also when it changed again while the question stood.
        if (rereadStoredRow()) SetMode(Browsing);
        return false;
    }
}

// What was typed is not lost with the row: it can be stored again, under the next number.
bool EntryForm::storeAsNewRecord() {
    ShowErrorAndGoOn([&] { GetMaxNum(); });
    const QString next = NumberText(m_nMaxNum);
    const QString question =
        QStringLiteral("该记录已被其他用户删除。选‘是’把您输入的内容存为一条新记录（编号 ") + next +
        QStringLiteral("），选‘否’放弃您的修改。");
    if (MsgBox(question, vb::YesNo | vb::Exclamation) != vb::Yes) {
        SkipOnError([&] { moveOffRemovedRow(); });
        SetMode(Browsing);
        return false;
    }
    SetControlText(control(QStringLiteral("txtBanHao")), next);
    bool saved = false;
    ShowErrorAndGoOn([&] {
        m_rMain->AddNew();
        writeColumns(false);
        saved = updateRenumberingDuplicates();
        if (!saved) m_rMain->CancelUpdate();
    });
    if (!saved) return false;
    ShowErrorAndGoOn([&] {
        m_nMaxNum += 1;
        storeCounter(m_nMaxNum);
    });
    m_shownRow = currentRow();
    return true;
}

// Reads the current row again as stored; when another desk deleted it, says so and moves off it.
bool EntryForm::rereadStoredRow() {
    bool stillStored = false;
    SkipOnError([&] { stillStored = m_rMain->Resync(); });
    if (stillStored) return true;
    MsgBox(kDeletedElsewhere, vb::Exclamation);
    SkipOnError([&] { moveOffRemovedRow(); });
    SetMode(Browsing);
    return false;
}

std::optional<QString> EntryForm::identityProposal(QWidget* w) const {
    const QString column = m_def.columnOf(w->objectName());
    QString proposal;
    const QString number = ControlText(m_txtSfz);
    if (column == QStringLiteral("性别"))
        proposal = SexFromIdentity(number);
    else if (column == QStringLiteral("出生年月"))
        proposal = BirthDateFromIdentity(number).toString(QStringLiteral("yyyy-MM-dd"));
    if (proposal.isEmpty()) return std::nullopt;
    // What the operator chose himself stays: anything but what the form itself showed.
    if (ControlText(w) != m_formShown.value(w)) return QString();
    return proposal;
}

// The identity box comes after 性别 and 出生年月 in the walk: a number typed there sends the walk
// back to them where they still show the walk's own default and the number tells otherwise.
void EntryForm::reopenStepsTheNumberAnswers() {
    for (QWidget* w : m_formShown.keys()) {
        if (ControlTag(w).isEmpty()) continue;
        const std::optional<QString> proposal = identityProposal(w);
        if (proposal && !proposal->isEmpty() && *proposal != ControlText(w)) SetControlTag(w, QString());
    }
}

bool EntryForm::CheckEnabled() {
    reopenStepsTheNumberAnswers();
    for (const WalkStep& step : m_def.walk) {
        QWidget* w = control(step.control);
        QString suggestion;
        if (step.suggestion == WalkStep::NextNumber)
            suggestion = NumberText(m_nMaxNum);
        else if (step.suggestion == WalkStep::Male)
            suggestion = QStringLiteral("男");
        if (w && step.check == WalkStep::Unmarked && ControlTag(w).isEmpty())
            suggestion = identityProposal(w).value_or(suggestion);
        const bool stopped =
            step.check == WalkStep::Empty ? FocusIfEmpty(w, suggestion) : FocusIfUnmarked(w, suggestion);
        if (stopped) {
            // Only what the walk showed of its own, not what the operator had chosen before.
            const QString shown = ControlText(w);
            if (m_formShown.contains(w) && (shown == suggestion || shown == m_formShown.value(w)))
                m_formShown.insert(w, shown);
            return false;
        }
    }
    return true;
}

void EntryForm::cmdNew_Click() {
    if (refusedWithoutEntryRight()) return;
    if (button("cmdNew")->text() == kAdd) {
        ShowErrorAndGoOn([&] { ClearTxt(); });
        ShowErrorAndGoOn([&] { SetMode(Adding); });
        m_formShown.clear();
        for (const QString& column : {QStringLiteral("性别"), QStringLiteral("出生年月")})
            if (const QString name = m_def.controlOf(column); !name.isEmpty())
                if (QWidget* w = control(name)) m_formShown.insert(w, ControlText(w));
        ShowErrorAndGoOn([&] {
            QWidget* key = control(QStringLiteral("txtBanHao"));
            if (m_def.proposeKeyWithFocus)
                FocusIfUnmarked(key, NumberText(m_nMaxNum));
            else
                SetControlText(key, NumberText(m_nMaxNum));
        });
        return;
    }
    if (CheckEnabled()) cmdSave_Click();
}

void EntryForm::cmdSave_Click() {
    if (refusedWithoutEntryRight()) return;
    QWidget* key = control(QStringLiteral("txtBanHao"));
    QWidget* name = control(QStringLiteral("txtMingCheng"));
    if (FocusIfEmpty(key, NumberText(m_nMaxNum))) {
        MsgBox(QStringLiteral("必须输入编码！"), vb::Exclamation);
        key->setFocus();
        return;
    }
    if (FocusIfEmpty(name, QString())) {
        MsgBox(QStringLiteral("必须输入名称！"), vb::Exclamation);
        name->setFocus();
        return;
    }
    bool duplicate = false;
    ShowErrorAndGoOn([&] {
        // The recorded text names the key as typed; the value itself is bound.
        Recordset existing;
        existing.Open(
            Statement{QStringLiteral("SELECT * FROM %1 WHERE (%2='%3')")
                          .arg(m_def.table, m_def.keyColumn, keyText()),
                      QStringLiteral("SELECT %2 FROM %1 WHERE (%2=?)").arg(m_def.table, m_def.keyColumn),
                      {keyText()}},
            gConn, ado::adOpenStatic);
        duplicate = existing.RecordCount() > 0;
    });
    if (duplicate) {
        ShowErrorAndGoOn([&] { GetMaxNum(); });
        const QString next = NumberText(m_nMaxNum);
        const int answer = MsgBox(QStringLiteral("编号重复！要自动编号吗？选‘是’即自动添加") + next +
                                      QStringLiteral("为新增单位的编号，选‘否’请手动输入一个编号！"),
                                  vb::YesNo | vb::Exclamation);
        if (answer != vb::Yes) {
            if (auto* edit = qobject_cast<QLineEdit*>(key)) edit->selectAll();
            key->setFocus();
            return;
        }
        SetControlText(key, next);
    }
    bool saved = false;
    ShowErrorAndGoOn([&] {
        m_rMain->AddNew();
        saved = UpdateField();
        if (!saved) m_rMain->CancelUpdate(); // nothing half-written stays behind; the typed values remain
    });
    if (!saved) return;
    ShowErrorAndGoOn([&] {
        m_nMaxNum += 1;
        storeCounter(m_nMaxNum);
    });
    ShowErrorAndGoOn([&] { SetMode(Browsing); });
    ShowErrorAndGoOn([&] { ClearTag(); });
}

void EntryForm::cmdEdit_Click() {
    if (refusedWithoutEntryRight()) return;
    if (!returnToShownRow()) {
        if (button("cmdEdit")->text() == kEdit)
            SetMode(Browsing);
        else
            ReportDbError(DbErrorCode::NoCurrentRecord, QString());
        return;
    }
    if (button("cmdEdit")->text() == kEdit) {
        SetMode(Editing);
        return;
    }
    if (UpdateField()) SetMode(Browsing);
}

void EntryForm::cmdCancel_Click() {
    try {
        if (m_rMain->RecordCount() != 0 && m_rMain->EditMode() != ado::adEditNone) m_rMain->CancelUpdate();
        SetMode(Browsing);
        button("cmdCancel")->setEnabled(false);
    } catch (...) {
        SetMode(Browsing);
    }
}

void EntryForm::cmdDelete_Click() {
    if (refusedWithoutEntryRight()) return;
    const int answer = MsgBox(QStringLiteral("是否真的删除 '") + keyText() + QLatin1Char('\''),
                              vb::YesNo | vb::Exclamation | vb::DefaultButton2);
    if (answer == vb::No || !returnToShownRow()) return;
    try {
        m_rMain->Delete();
    } catch (const DbError& error) {
        MsgBox(error.description, vb::Exclamation);
        // Changed or deleted at another desk since it was shown: the operator sees what is stored.
        if (error.number == DbErrorCode::WriteConflict) showStoredRow();
        return;
    }
    SkipOnError([&] {
        moveOffRemovedRow();
        SetMode(Browsing);
    });
}

bool EntryForm::bFind(const QString& sFind) {
    // A record being added or edited here is not thrown away by a hit chosen in a query window.
    if (button("cmdNew")->text() == kConfirm || button("cmdEdit")->text() == kConfirm) return false;
    QString wanted = sFind;
    if (wanted.isEmpty()) wanted = InputBox(m_def.locatePrompt).value_or(QString());
    if (wanted.isEmpty()) return false;
    std::optional<Recordset::Bookmark> previous;
    SkipOnError([&] {
        if (!m_rMain->IsEOF()) previous = m_rMain->bookmark();
    });
    // Found only when the search itself ran and stopped on a row.
    const auto search = [&](const QString& column) {
        bool found = false;
        SkipOnError([&] {
            m_rMain->MoveFirst();
            m_rMain->Find(column + QStringLiteral(" = ") + QuoteLiteral(wanted));
            found = !m_rMain->IsEOF();
        });
        return found;
    };
    if (search(m_def.keyColumn) || search(m_def.secondLocateColumn)) return true;
    if (previous) {
        SkipOnError([&] { m_rMain->setBookmark(*previous); });
        Splash();
    } else {
        ClearTxt();
    }
    return false;
}

void EntryForm::cmdList_Click() {
    fPView* list = fPView::instance();
    ShowForm(list);
    list->setStitle(m_def.listTitle);
    list->doFill(true, m_rMain);
    gViewTable = m_def.table;
}

void EntryForm::cmdFind_Click() {
    if (bFind(QString())) Splash();
}

void EntryForm::cmdQuery_Click() {
    if (CheckRight(kQueryRight)) ShowForm(queryForm());
}

RecordCard EntryForm::shownCard() const {
    RecordCard card;
    card.title = m_def.cardTitle;
    card.printed = QDate::currentDate();
    for (const BoundField& field : m_def.fields) {
        QWidget* w = control(field.control);
        if (w == m_photo) continue;
        QString label = field.column;
        if (auto* caption = findChild<QLabel*>(QStringLiteral("lbl_") + field.control))
            label = caption->text()
                        .remove(QLatin1Char('*'))
                        .remove(QLatin1Char(':'))
                        .remove(QStringLiteral("："))
                        .trimmed();
        QString value;
        if (auto* date = qobject_cast<DatePicker*>(w))
            value = date->value().toDate().toString(QStringLiteral("yyyy-MM-dd"));
        else if (w)
            value = ControlText(w);
        card.lines.append({label, value});
    }
    if (m_photo && m_photo->hasPicture())
        card.photo = m_photo->picture().toImage();
    else if (m_photo && m_photo->holdsPhoto())
        card.photoNote = m_photo->text();
    return card;
}

RecordCard EntryForm::cardToPrint() {
    RecordCard card = shownCard();
    const QString key = shownStoredKey();
    if (key.isEmpty() || verifyHost().isEmpty()) return card;
    // Without its code the card still prints; the operator is told why it has none.
    ReportAndGoOn([&] { card.verifyAddress = verifyAddress(verifyHost(), currentVerifyToken(gConn, m_def.table, key)); });
    return card;
}

void EntryForm::cmdHeYanMa_Click() {
    const QString key = shownStoredKey();
    if (key.isEmpty()) return;
    auto* caption = findChild<QLabel*>(QStringLiteral("lbl_txtBanHao"));
    const QString keyLabel =
        caption ? caption->text().remove(QRegularExpression(QStringLiteral("[*:：]"))).trimmed() : m_def.keyColumn;
    fHeYanMa::showFor(m_def.table, keyLabel, key, ControlText(control(m_def.controlOf(QStringLiteral("姓名")))), this);
}

void EntryForm::cmdPrint_Click() {
    // Asked before the card gets its verification code, which is stored; the preview asks again.
    if (!CheckRight(kPrintRight)) return;
    const RecordCard card = cardToPrint();
    QPrinter printer(QPrinter::HighResolution);
    card.preparePrinter(printer);
    PreviewPages(
        printer, [&card](QPrinter* target) { card.paint(target); }, m_def.caption + QLatin1Char(' ') + keyText(), 1,
        this);
}

void EntryForm::cmdZhiZhao_Click() {
    if (refusedWithoutEntryRight()) return;
    const auto path = ShowOpen(
        QStringLiteral("图片文件(Jpg,Bmp,Wmf,Gif)|*.Jpg;*.Bmp;*Wmf;*.jpeg;*.Gif;|所有文件|*.*|"), this);
    if (!path) return;
    QPixmap picture;
    if (!picture.load(*path)) return;
    m_photo->setPicture(picture);
    SetControlTag(m_photo, *path);
}

void EntryForm::cmdDelPic_Click() {
    if (refusedWithoutEntryRight()) return;
    m_photo->clearPicture();
    SetControlTag(m_photo, QString());
}

void EntryForm::imgZhaoPian_DblClick() {
    fPic* viewer = fPic::instance();
    viewer->setPicture(m_photo->picture());
    ShowForm(viewer);
}

// The counter has room for the length; a note of a wrong check character takes the caption's place
// beside it, on two lines, until the counter is short again.
void EntryForm::showIdentityNote(const QString& note) {
    if (!m_lblNum) return;
    m_lblNum->setText(note);
    auto* caption = findChild<QLabel*>(QStringLiteral("lbl_txtSfz"));
    const QFontMetrics metrics = m_lblNum->fontMetrics();
    const bool fits = !caption || metrics.horizontalAdvance(note) <= m_lblNumPlace.width();
    if (caption) caption->setVisible(fits);
    m_lblNum->setWordWrap(!fits);
    if (fits) {
        m_lblNum->setGeometry(m_lblNumPlace);
    } else {
        m_lblNum->setGeometry(caption->x(), m_lblNumPlace.y(), m_lblNumPlace.right() - caption->x() + 1,
                              std::max(m_lblNumPlace.height(), 2 * metrics.lineSpacing()));
        m_lblNum->raise();
    }
}

bool EntryForm::identityKeyAccepted(QChar typed) const {
    if (typed.toUpper() != QLatin1Char('X')) return FilterKey(typed.unicode(), kIdentityKeys) != 0;
    // X is only ever the check character, the 18th.
    const auto* edit = qobject_cast<const QLineEdit*>(m_txtSfz);
    if (!edit) return false;
    const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    return at == 17 && edit->text().size() - edit->selectedText().size() == 17;
}

bool EntryForm::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys typed into an open drop-down list or calendar are the popup's.
        if (QApplication::activePopupWidget()) return QWidget::eventFilter(watched, event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // Ctrl+Enter breaks the line in a multi-line box, where Enter alone goes on.
            if (auto* memo = qobject_cast<QPlainTextEdit*>(widget);
                memo && (key->modifiers() & Qt::ControlModifier)) {
                memo->insertPlainText(QStringLiteral("\n"));
                return true;
            }
            // Enter does nothing while editing; otherwise it presses the focused button, else the
            // default button "新增"/"确定".
            if (m_mode == Editing) return true;
            if (auto* focused = qobject_cast<QPushButton*>(widget))
                focused->click();
            else if (button("cmdNew")->isEnabled())
                button("cmdNew")->click();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            if (button("cmdSave")->isEnabled()) button("cmdSave")->click();
            return true;
        }
        if (m_txtSfz && (widget == m_txtSfz) && !key->text().isEmpty() &&
            !identityKeyAccepted(key->text().at(0)))
            return true;
    } else if (event->type() == QEvent::FocusIn && widget) {
        if (m_def.imeOnControls.contains(widget->objectName()))
            ImeOn(widget);
        else if (m_def.imeOffControls.contains(widget->objectName()))
            ImeOff(widget);
    } else if (event->type() == QEvent::FocusOut && widget == m_txtSfz) {
        showIdentityNote(QStringLiteral("："));
    }
    return QWidget::eventFilter(watched, event);
}

void EntryForm::closeEvent(QCloseEvent* event) {
    SkipOnError([&] { storeCounter(m_nMaxNum); });
    event->accept();
    // Closing unloads the form: the next opening loads it afresh.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->deleteLater();
    else
        deleteLater();
}
