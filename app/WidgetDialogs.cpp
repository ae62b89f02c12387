#include "WidgetDialogs.h"

#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QPushButton>

namespace {

QMessageBox::StandardButton standardButton(int answer) {
    switch (answer) {
    case vb::OK:
        return QMessageBox::Ok;
    case vb::Cancel:
        return QMessageBox::Cancel;
    case vb::Abort:
        return QMessageBox::Abort;
    case vb::Retry:
        return QMessageBox::Retry;
    case vb::Ignore:
        return QMessageBox::Ignore;
    case vb::Yes:
        return QMessageBox::Yes;
    case vb::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon messageIcon(int flags) {
    switch (flags & vb::IconMask) {
    case vb::Critical:
        return QMessageBox::Critical;
    case vb::Question:
        return QMessageBox::Question;
    case vb::Exclamation:
        return QMessageBox::Warning;
    case vb::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// A dialog that asks the operator something shows the normal pointer, also while a long step
// has set the wait cursor around it.
class NormalPointer {
public:
    NormalPointer() : m_pushed(QGuiApplication::overrideCursor() != nullptr) {
        if (m_pushed) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer() {
        if (m_pushed) QGuiApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool m_pushed;
};

// The window a dialog belongs to: the caller's, else the active one.
QWidget* ownerWindow(QObject* parent) {
    if (auto* widget = qobject_cast<QWidget*>(parent)) return widget;
    return QApplication::activeWindow();
}

std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText,
                               QLineEdit::EchoMode echo) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setTextEchoMode(echo);
    if (auto* label = dialog.findChild<QLabel*>()) label->setTextFormat(Qt::PlainText);
    NormalPointer pointer;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

class QtDialogService final : public DialogService {
public:
    int msgBox(const QString& prompt, int flags, const QString& title) override {
        QMessageBox box(messageIcon(flags), title, prompt, QMessageBox::NoButton,
                        QApplication::activeWindow());
        // Prompts carry database and user text; none of it may be taken for markup.
        box.setTextFormat(Qt::PlainText);
        const QList<int> answers = ButtonAnswers(flags);
        QList<QAbstractButton*> buttons;
        for (int answer : answers) {
            // Qt's own text for the button, but one role for all: the platform's layout would
            // otherwise reorder them (Retry, Ignore, Abort), and the order is the box's meaning.
            QPushButton* button = box.addButton(standardButton(answer));
            box.removeButton(button);
            box.addButton(button, QMessageBox::ActionRole);
            buttons << button;
        }
        const int defaultIndex = (flags & vb::DefaultButton2) && buttons.size() > 1 ? 1 : 0;
        box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultIndex]));
        // Esc answers Cancel, or No; a box with neither (Abort/Retry/Ignore) waits for a choice.
        for (int escape : {vb::Cancel, vb::No})
            if (const qsizetype at = answers.indexOf(escape); at >= 0) {
                box.setEscapeButton(buttons[at]);
                break;
            }
        NormalPointer pointer;
        box.exec();
        const int chosen = buttons.indexOf(box.clickedButton());
        // Closed without a button (only possible where Qt allows escape): the escape answer.
        if (chosen < 0) return answers.contains(vb::Cancel) ? vb::Cancel : answers.last();
        return answers[chosen];
    }

    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        return askText(prompt, title, defaultText, QLineEdit::Normal);
    }

    std::optional<QString> passwordBox(const QString& prompt, const QString& title) override {
        return askText(prompt, title, QString(), QLineEdit::Password);
    }

    std::optional<QString> showOpen(const QString& vbFilter, QObject* parent) override {
        const QString filters = NameFiltersFromVb(vbFilter).join(QStringLiteral(";;"));
        NormalPointer pointer;
        const QString path = QFileDialog::getOpenFileName(ownerWindow(parent), QString(), QString(), filters,
                                                          nullptr, QFileDialog::DontUseNativeDialog);
        if (path.isEmpty()) return std::nullopt;
        return path;
    }

    void beep() override { QApplication::beep(); }

    std::optional<SaveChoice> showSave(const QString& vbFilter, const QString& defaultPath, int filterIndex,
                                       QObject* parent) override {
        const QStringList filters = NameFiltersFromVb(vbFilter);
        QFileDialog dialog(ownerWindow(parent));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(filters);
        if (filterIndex >= 0 && filterIndex < filters.size()) dialog.selectNameFilter(filters[filterIndex]);
        dialog.selectFile(defaultPath);
        NormalPointer pointer;
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return SaveChoice{dialog.selectedFiles().first(), int(filters.indexOf(dialog.selectedNameFilter()))};
    }

    PrintRoute printDialog(const QString&, QObject*) override { return {true, {}}; }
    PrintRoute printPreview(const QString&, QObject*) override { return {true, {}}; }
};

void printToPdf(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
}

} // namespace

void installWidgetDialogs() {
    static QtDialogService widgetService;
    setDefaultDialogService(&widgetService);
}

bool ShowPrinter(QPrinter& printer, QWidget* parent) {
    const PrintRoute route = currentDialogService().printDialog(printer.docName(), parent);
    if (!route.askOperator) {
        if (route.pdfPath.isEmpty()) return false;
        printToPdf(printer, route.pdfPath);
        return true;
    }
    QPrintDialog dialog(&printer, ownerWindow(parent));
    NormalPointer pointer;
    return dialog.exec() == QDialog::Accepted;
}

void ShowPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint, QWidget* parent) {
    const PrintRoute route = currentDialogService().printPreview(printer.docName(), parent);
    if (!route.askOperator) {
        if (route.pdfPath.isEmpty()) return;
        printToPdf(printer, route.pdfPath);
        paint(&printer);
        return;
    }
    QPrintPreviewDialog dialog(&printer, ownerWindow(parent));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, paint);
    dialog.exec();
}
