#pragma once
// The dialog seam: message box, input box, file dialogs, print dialog, preview and beep with the
// argument and answer conventions the windows were written for. Everything goes through one
// DialogService: the windows install Qt's dialogs, a run without windows answers on standard
// error, and the tests install a scripted double.

#include <optional>
#include <QList>
#include <QString>
#include <QStringList>

class QObject;

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

// Where the pages of a print dialog or a preview go when the service answers it itself.
struct PrintRoute {
    // Qt's own dialog lets the operator choose.
    bool askOperator = false;
    // Otherwise the pages go to this PDF file; nowhere when it is empty (cancelled).
    QString pdfPath;
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
    virtual std::optional<QString> showOpen(const QString& vbFilter, QObject* parent) = 0;
    virtual void beep() = 0;
    // The saving dialog answers "cancelled" unless a service offers it.
    virtual std::optional<SaveChoice> showSave(const QString& vbFilter, const QString& defaultPath,
                                               int filterIndex, QObject* parent);
    // Printing and previewing go nowhere unless a service offers them.
    virtual PrintRoute printDialog(const QString& documentName, QObject* parent);
    virtual PrintRoute printPreview(const QString& documentName, QObject* parent);
};

// Installs `service` for all later calls; nullptr restores the default service. Not owned.
void setDialogService(DialogService* service);
// The service nullptr restores: Qt's dialogs once the windows installed them; until then
// messages go to standard error with the default button as the answer, and nothing is chosen.
void setDefaultDialogService(DialogService* service);
DialogService& currentDialogService();

// Returns one of the vb answers. An empty title means the application title.
int MsgBox(const QString& prompt, int flags = vb::OKOnly, const QString& title = QString());
// nullopt when cancelled; an empty text when confirmed empty.
std::optional<QString> InputBox(const QString& prompt, const QString& title = QString(),
                                const QString& defaultText = QString());
// nullopt when cancelled; the typed text is never shown.
std::optional<QString> PasswordBox(const QString& prompt, const QString& title = QString());
// `vbFilter` is "description|patterns|description|patterns|"; returns the chosen file's full path,
// nullopt when cancelled.
std::optional<QString> ShowOpen(const QString& vbFilter, QObject* parent = nullptr);
void Beep();
// `filterIndex` preselects one of the vb filters; nullopt when cancelled.
std::optional<SaveChoice> ShowSave(const QString& vbFilter, const QString& defaultPath, int filterIndex = 0,
                                   QObject* parent = nullptr);

// "本系统数据库文件|MoLian.mdb|所有文件|*.*|" → {"本系统数据库文件 (MoLian.mdb)", "所有文件 (*)"}.
QStringList NameFiltersFromVb(const QString& vbFilter);
// The answers of the buttons a box with these flags shows, left to right.
QList<int> ButtonAnswers(int flags);
