#pragma once
// The dialog seam: message box, input box, open-file dialog and beep with the argument and answer
// conventions the windows were written for. Everything goes through one DialogService, which the
// tests replace with a scripted double.

#include <functional>
#include <optional>
#include <QList>
#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

namespace vb {
// Buttons (flags & 7)
constexpr int OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
// Icons (flags & 0x70)
constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
constexpr int DefaultButton2 = 256;
// Answers
constexpr int OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;

constexpr int ButtonMask = 7, IconMask = 0x70;
} // namespace vb

// The file a save dialog chose and which of its filters (from 0) was selected.
struct SaveChoice {
    QString path;
    int filterIndex = 0;
};

class DialogService {
public:
    virtual ~DialogService();
    // `title` arrives resolved (never empty).
    virtual int msgBox(const QString& prompt, int flags, const QString& title) = 0;
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    // Like an input box, with the typed text hidden.
    virtual std::optional<QString> passwordBox(const QString& prompt, const QString& title);
    virtual std::optional<QString> showOpen(const QString& vbFilter, QWidget* parent) = 0;
    virtual void beep() = 0;
    // The printing and saving dialogs answer "cancelled" unless a service offers them.
    virtual std::optional<SaveChoice> showSave(const QString& vbFilter, const QString& defaultPath,
                                               int filterIndex, QWidget* parent);
    // True when the operator chose to print; the printer then carries the choice.
    virtual bool printDialog(QPrinter& printer, QWidget* parent);
    // Shows the pages `paint` draws until the operator closes the preview.
    virtual void printPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint, QWidget* parent);
};

// Installs `service` for all later calls; nullptr restores the real Qt dialogs. Not owned.
void setDialogService(DialogService* service);

// Returns one of the vb answers. An empty title means the application title.
int MsgBox(const QString& prompt, int flags = vb::OKOnly, const QString& title = QString());
// nullopt when cancelled; an empty text when confirmed empty.
std::optional<QString> InputBox(const QString& prompt, const QString& title = QString(),
                                const QString& defaultText = QString());
// nullopt when cancelled; the typed text is never shown.
std::optional<QString> PasswordBox(const QString& prompt, const QString& title = QString());
// `vbFilter` is "description|patterns|description|patterns|"; returns the chosen file's full path,
// nullopt when cancelled.
std::optional<QString> ShowOpen(const QString& vbFilter, QWidget* parent = nullptr);
void Beep();
// `filterIndex` preselects one of the vb filters; nullopt when cancelled.
std::optional<SaveChoice> ShowSave(const QString& vbFilter, const QString& defaultPath, int filterIndex = 0,
                                   QWidget* parent = nullptr);
bool ShowPrinter(QPrinter& printer, QWidget* parent = nullptr);
void ShowPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint, QWidget* parent = nullptr);

// "本系统数据库文件|MoLian.mdb|所有文件|*.*|" → {"本系统数据库文件 (MoLian.mdb)", "所有文件 (*)"}.
QStringList NameFiltersFromVb(const QString& vbFilter);
// The answers of the buttons a box with these flags shows, left to right.
QList<int> ButtonAnswers(int flags);
