#pragma once
// Test double for the dialog seam: installed while it lives, answers from queues, records calls.
//
// Unscripted answers: a message box answers with its first button (OK, Yes for Yes/No and
// Yes/No/Cancel, Abort for Abort/Retry/Ignore, Retry for Retry/Cancel); input and open-file
// dialogs answer "cancelled", and so do save and print dialogs; a preview draws nothing. A print
// dialog or preview scripted with a file name prints into that PDF file instead. A scripted message answer
// that is not one of the box's buttons fails the running test: the script is out of step with the code.

#include "dialogs.h"

#include <functional>
#include <optional>
#include <QList>
#include <QQueue>
#include <QString>

class ScriptedDialogs final : public DialogService {
public:
    enum class Kind { MsgBox, Input, Open, Beep, Save, Print, Preview };

    struct Call {
        Kind kind = Kind::MsgBox;
        QString text;    // prompt, or the vb filter of an open-file dialog
        int icon = 0;    // flags & 0x70
        int buttons = 0; // flags & 7
        QString title;   // resolved: never empty for message and input boxes
        bool defaultButton2 = false;
        QString defaultText;       // input box; default path of a save dialog
        QObject* parent = nullptr; // open-file and save dialogs
        int filterIndex = 0;       // save dialog: the filter preselected
        QString documentName;      // print dialog and preview
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void answerMsgBox(int answer) { m_msgAnswers.enqueue(answer); }
    // Runs while the next message box stands, before it is answered (another desk at work).
    void whileNextMsgBox(std::function<void()> action) { m_whileAsking.enqueue(std::move(action)); }
    void answerInput(std::optional<QString> answer) { m_inputAnswers.enqueue(std::move(answer)); }
    void answerOpen(std::optional<QString> answer) { m_openAnswers.enqueue(std::move(answer)); }
    void answerSave(std::optional<SaveChoice> answer) { m_saveAnswers.enqueue(std::move(answer)); }
    // The PDF file a print dialog, or a preview, sends its pages to; nullopt cancels the print dialog.
    void answerPrint(std::optional<QString> pdfPath) { m_printAnswers.enqueue(std::move(pdfPath)); }
    void answerPreview(const QString& pdfPath) { m_previewAnswers.enqueue(pdfPath); }

    // Every call of every kind, in order.
    const QList<Call>& messages() const { return m_calls; }
    // Every call of one kind, in order.
    QList<Call> calls(Kind kind) const;
    // The last message box; a default Call (empty text) when there was none.
    Call lastMessage() const;
    int msgBoxCount() const { return calls(Kind::MsgBox).size(); }
    int beepCount() const { return calls(Kind::Beep).size(); }
    // Scripted answers not used yet, for tests that check the code asked everything expected.
    int pendingAnswers() const;
    void clear();

    int msgBox(const QString& prompt, int flags, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    std::optional<QString> showOpen(const QString& vbFilter, QObject* parent) override;
    void beep() override;
    std::optional<SaveChoice> showSave(const QString& vbFilter, const QString& defaultPath, int filterIndex,
                                       QObject* parent) override;
    PrintRoute printDialog(const QString& documentName, QObject* parent) override;
    PrintRoute printPreview(const QString& documentName, QObject* parent) override;

private:
    QList<Call> m_calls;
    QQueue<int> m_msgAnswers;
    QQueue<std::function<void()>> m_whileAsking;
    QQueue<std::optional<QString>> m_inputAnswers;
    QQueue<std::optional<QString>> m_openAnswers;
    QQueue<std::optional<SaveChoice>> m_saveAnswers;
    QQueue<std::optional<QString>> m_printAnswers;
    QQueue<QString> m_previewAnswers;
};
