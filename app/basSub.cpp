#include "basSub.h"

#include "Passwords.h"

#include "AuditLog.h"
#include "OperatorAccess.h"

#include "basGlobal.h"
#include "dialogs.h"
#include "ErrorTraps.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTextEdit>

namespace {

QString itemText(const QVariant& value) {
    if (value.typeId() == QMetaType::QDate) return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return value.toString();
}

QLineEdit* spinBoxEditor(QWidget* spinBox) {
    return spinBox->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
}

int textPropertyIndex(const QWidget* control) {
    return control->metaObject()->indexOfProperty("text");
}

// A text property declared by one of the program's own controls (a date picker that can be empty,
// say) knows the control's text better than the Qt class it is built on.
bool declaresOwnText(const QWidget* control) {
    const int index = textPropertyIndex(control);
    if (index < 0) return false;
    const QMetaObject* declaredBy = control->metaObject()->property(index).enclosingMetaObject();
    return declaredBy != &QLineEdit::staticMetaObject && declaredBy != &QAbstractSpinBox::staticMetaObject;
}

bool setTextProperty(QWidget* control, const QString& text) {
    const int index = textPropertyIndex(control);
    if (index < 0 || !control->metaObject()->property(index).isWritable()) return false;
    return control->setProperty("text", text);
}

void offer(QWidget* control, const QString& defaultText) {
    if (!defaultText.isEmpty()) SetControlText(control, defaultText);
    SelectAllText(control);
    control->setFocus();
}

// What the scaling treats as the form's own controls: named widgets, not the internals of Qt's
// composite widgets (spin-box editors, scroll-area viewports), not separate windows.
bool isFormControl(const QWidget* widget) {
    const QString name = widget->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !widget->isWindow();
}

} // namespace

void FillComboFromField(Recordset& records, QComboBox* combo, const QString& field) {
    if (!combo) return;
    combo->clear();
    bool hasRows = false;
    SkipOnError([&] { hasRows = !(records.IsBOF() && records.IsEOF()); });
    if (!hasRows) return;
    SkipOnError([&] { records.MoveFirst(); });
    for (;;) {
        bool atEnd = true;
        SkipOnError([&] { atEnd = records.IsEOF(); });
        if (atEnd) break;
        SkipOnError([&] {
            const QVariant value = records.Fields(field).Value();
            if (!value.isNull()) combo->addItem(itemText(value));
        });
        // A move that fails would never reach the end: stop there instead of looping.
        if (!SkipOnError([&] { records.MoveNext(); })) break;
    }
}

bool FocusIfEmpty(QWidget* control, const QString& defaultText) {
    if (!control || !ControlText(control).isEmpty()) return false;
    offer(control, defaultText);
    return true;
}

bool FocusIfUnmarked(QWidget* control, const QString& defaultText) {
    if (!control || !ControlTag(control).isEmpty()) return false;
    if (!defaultText.isEmpty()) SetControlText(control, defaultText);
    SetControlTag(control, QStringLiteral("T"));
    offer(control, QString());
    return true;
}

int FilterKey(int key, const QString& allowed) {
    if (key < 0 || key > 0x10FFFF) return key; // no character to test
    // Tab, Delete, Enter, Esc and Ctrl combinations edit or move; only characters are judged.
    if (QChar::category(char32_t(key)) == QChar::Other_Control) return key;
    const QString list = allowed.isEmpty() ? QStringLiteral("0123456789.。") : allowed;
    const char32_t codePoint = char32_t(key);
    const QString character = QString::fromUcs4(&codePoint, 1);
    return list.toUpper().contains(character.toUpper()) ? key : 0;
}

namespace {

// A drop-down list or calendar keeps its Esc and Enter. Qt lets a combo's list close on the key's
// shortcut check, after which the key press itself, or the form's Esc shortcut, would still reach
// the form: Esc would close the window or save the record, Enter would take a step of the walk.
class PopupKeyGuard : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool popupKey =
                key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (!popupKey || key->modifiers() != Qt::NoModifier || !QApplication::activePopupWidget())
                return false;
            // The key press that follows has the same key and time.
            m_taken = key->key();
            m_takenAt = key->timestamp();
            if (key->key() != Qt::Key_Escape) return false; // the popup chooses
            closeOpenPopup();
            key->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && m_taken != 0 && watched->isWidgetType()) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool taken = key->key() == m_taken && key->timestamp() == m_takenAt;
            m_taken = 0;
            // Still open, the popup handles the key itself.
            return taken && !QApplication::activePopupWidget();
        }
        return false;
    }

private:
    static void closeOpenPopup() {
        QWidget* popup = QApplication::activePopupWidget();
        // A combo's list closes through its combo, which then restores its own state.
        if (auto* combo = qobject_cast<QComboBox*>(popup->parentWidget()))
            combo->hidePopup();
        else
            popup->close();
    }

    int m_taken = 0;
    quint64 m_takenAt = 0;
};

// Every window of the program, dialogs included, gets the guard with the application.
void installPopupKeyGuard() {
    auto* guard = new PopupKeyGuard;
    guard->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(guard);
}
Q_COREAPP_STARTUP_FUNCTION(installPopupKeyGuard)

} // namespace

void OnEscape(QWidget* form, std::function<void()> action) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), form);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(escape, &QShortcut::activated, form, std::move(action));
}

namespace {

std::function<void()>& operatorGoneHandler() {
    static std::function<void()> handler;
    return handler;
}

// The operator logged in here was deleted at some desk: he is told, and his session ends.
void endSessionOfDeletedOperator() {
    const QString name = gOperator;
    gOperator.clear();
    AuditLog::setOperator(QString());
    SkipOnError([&] {
        Beep();
        MsgBox(QStringLiteral("操作员 '%1' 已被删除，不能再继续操作，系统将退出。").arg(name), vb::Critical);
    });
    if (operatorGoneHandler()) operatorGoneHandler()();
}

enum class Standing { Granted, Refused, Gone, Unreadable };

// `tell`: a database that cannot be read is reported, not mistaken for a missing right.
Standing standingFor(const QString& right, bool tell) {
    if (gOperator.isEmpty()) return Standing::Refused;
    std::optional<bool> granted = false;
    const auto read = [&] { granted = storedRight(gConn.database(), gOperator, right); };
    if (!(tell ? ReportAndGoOn(read) : SkipOnError(read))) return Standing::Unreadable;
    if (!granted) return Standing::Gone;
    return *granted ? Standing::Granted : Standing::Refused;
}

void refuse(const QString& right, const QString& advice) {
    SkipOnError([&] {
        Beep();
        MsgBox(QStringLiteral("对不起，您无'") + right + QStringLiteral("'权限!") + advice, vb::Critical);
    });
}

} // namespace

void OnOperatorGone(std::function<void()> handler) {
    operatorGoneHandler() = std::move(handler);
}

bool HasRight(const QString& right) {
    const Standing standing = standingFor(right, false);
    if (standing == Standing::Gone) endSessionOfDeletedOperator();
    return standing == Standing::Granted;
}

bool LacksRight(const QString& right) {
    const Standing standing = standingFor(right, false);
    if (standing == Standing::Gone) endSessionOfDeletedOperator();
    return standing == Standing::Refused || standing == Standing::Gone;
}

bool CheckRight(const QString& right) {
    const Standing standing = standingFor(right, true);
    if (standing == Standing::Gone) endSessionOfDeletedOperator();
    if (standing == Standing::Refused) refuse(right, QStringLiteral("请通过管理员为您设置该权限!"));
    return standing == Standing::Granted;
}

bool CheckAdministrator(const QString& what) {
    const bool administrator = gOperator == kAdministrator;
    if (!administrator) refuse(what, QStringLiteral("只有管理员可以使用该功能!"));
    return administrator;
}

bool FindOperator(const QString& name) {
    if (!gUsersRs || (gUsersRs->IsBOF() && gUsersRs->IsEOF())) return false;
    gUsersRs->MoveFirst();
    gUsersRs->Find(QStringLiteral("姓名 = ") + QuoteLiteral(name));
    return !gUsersRs->IsEOF();
}

void AutoSizeForm(QWidget* form) {
    if (!gAutoSize || !form) return;
    // Without a screen the ratios would shrink every control to nothing: leave the form as laid out.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    AutoSizeForm(form, screen->size());
}

void AutoSizeForm(QWidget* form, QSize screenSize) {
    if (!gAutoSize || !form || screenSize.width() <= 0 || screenSize.height() <= 0) return;
    const float width = float(screenSize.width());
    const float height = float(screenSize.height());
    if (width == 800.0f && height == 600.0f) return;
    const float ry = height / 600.0f;
    const float rx = width / 800.0f;

    form->resize(qRound(float(form->width()) * rx), qRound(float(form->height()) * ry));

    // Read every control before changing any: a container's new font would otherwise be inherited
    // by its children and scaled a second time.
    struct Original {
        QPointer<QWidget> control;
        QRect geometry;
        QFont font;
    };
    QList<Original> originals;
    for (QWidget* control : form->findChildren<QWidget*>())
        if (isFormControl(control)) originals.append({control, control->geometry(), control->font()});

    for (const Original& original : originals) {
        if (!original.control) continue;
        const QRect& g = original.geometry;
        original.control->setGeometry(qRound(float(g.x()) * rx), qRound(float(g.y()) * ry),
                                      qRound(float(g.width()) * rx), qRound(float(g.height()) * ry));
        QFont font = original.font;
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * double(rx));
        else if (font.pixelSize() > 0)
            font.setPixelSize(qRound(float(font.pixelSize()) * rx));
        original.control->setFont(font);
    }
}

QString ControlText(const QWidget* control) {
    if (!control) return QString();
    if (declaresOwnText(control)) return control->property("text").toString();
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(control)) return plain->toPlainText();
    if (const auto* rich = qobject_cast<const QTextEdit*>(control)) return rich->toPlainText();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(control)) return spin->text();
    return QString();
}

bool SetControlText(QWidget* control, const QString& text) {
    if (!control) return false;
    if (declaresOwnText(control)) return setTextProperty(control, text);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        return true;
    }
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
            return true;
        }
        // A list-only combo shows nothing or one of its items.
        const int index =
            text.isEmpty() ? -1 : combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0 && !text.isEmpty()) return false;
        combo->setCurrentIndex(index);
        return true;
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        plain->setPlainText(text);
        return true;
    }
    if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        rich->setPlainText(text);
        return true;
    }
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) {
        // The spin box validates its own editor's text; an unacceptable text reverts to the value.
        QLineEdit* editor = spinBoxEditor(spin);
        if (!editor) return false;
        editor->setText(text);
        spin->interpretText();
        return spin->text() == text;
    }
    return false;
}

void SelectAllText(QWidget* control) {
    if (!control) return;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->lineEdit()) combo->lineEdit()->selectAll();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        plain->selectAll();
    else if (auto* rich = qobject_cast<QTextEdit*>(control))
        rich->selectAll();
    else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
        spin->selectAll();
    else if (control->metaObject()->indexOfMethod("selectAll()") >= 0)
        QMetaObject::invokeMethod(control, "selectAll");
}

QString ControlTag(const QWidget* control) {
    return control ? control->property("Tag").toString() : QString();
}

void SetControlTag(QWidget* control, const QString& tag) {
    if (control) control->setProperty("Tag", tag);
}
