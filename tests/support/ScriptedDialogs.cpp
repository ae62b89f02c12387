#include "ScriptedDialogs.h"

#include <QTest>

ScriptedDialogs::ScriptedDialogs() {
    setDialogService(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    setDialogService(nullptr);
}

QList<ScriptedDialogs::Call> ScriptedDialogs::calls(Kind kind) const {
    QList<Call> result;
    for (const Call& call : m_calls)
        if (call.kind == kind) result << call;
    return result;
}

ScriptedDialogs::Call ScriptedDialogs::lastMessage() const {
    const QList<Call> boxes = calls(Kind::MsgBox);
    return boxes.isEmpty() ? Call() : boxes.last();
}

int ScriptedDialogs::pendingAnswers() const {
    return int(m_msgAnswers.size() + m_inputAnswers.size() + m_openAnswers.size() + m_saveAnswers.size() +
               m_printAnswers.size() + m_previewAnswers.size());
}

void ScriptedDialogs::clear() {
    m_calls.clear();
    m_msgAnswers.clear();
    m_whileAsking.clear();
    m_inputAnswers.clear();
    m_openAnswers.clear();
    m_saveAnswers.clear();
    m_printAnswers.clear();
    m_previewAnswers.clear();
}

int ScriptedDialogs::msgBox(const QString& prompt, int flags, const QString& title) {
    Call call;
    call.text = prompt;
    call.icon = flags & vb::IconMask;
    call.buttons = flags & vb::ButtonMask;
    call.title = title;
    call.defaultButton2 = (flags & vb::DefaultButton2) != 0;
    m_calls << call;
    if (!m_whileAsking.isEmpty()) m_whileAsking.dequeue()();
    const QList<int> offered = ButtonAnswers(flags);
    if (m_msgAnswers.isEmpty()) return offered.first();
    const int answer = m_msgAnswers.dequeue();
    if (!offered.contains(answer)) {
        const QByteArray why = "scripted answer " + QByteArray::number(answer) +
                               " is not a button of the message box \"" + prompt.toUtf8() + '"';
        QTest::qFail(why.constData(), __FILE__, __LINE__);
    }
    return answer;
}

std::optional<QString> ScriptedDialogs::inputBox(const QString& prompt, const QString& title,
                                                 const QString& defaultText) {
    Call call;
    call.kind = Kind::Input;
    call.text = prompt;
    call.title = title;
    call.defaultText = defaultText;
    m_calls << call;
    return m_inputAnswers.isEmpty() ? std::nullopt : m_inputAnswers.dequeue();
}

std::optional<QString> ScriptedDialogs::showOpen(const QString& vbFilter, QObject* parent) {
    Call call;
    call.kind = Kind::Open;
    call.text = vbFilter;
    call.parent = parent;
    m_calls << call;
    return m_openAnswers.isEmpty() ? std::nullopt : m_openAnswers.dequeue();
}

void ScriptedDialogs::beep() {
    Call call;
    call.kind = Kind::Beep;
    m_calls << call;
}

std::optional<SaveChoice> ScriptedDialogs::showSave(const QString& vbFilter, const QString& defaultPath,
                                                    int filterIndex, QObject* parent) {
    Call call;
    call.kind = Kind::Save;
    call.text = vbFilter;
    call.defaultText = defaultPath;
    call.filterIndex = filterIndex;
    call.parent = parent;
    m_calls << call;
    return m_saveAnswers.isEmpty() ? std::nullopt : m_saveAnswers.dequeue();
}

PrintRoute ScriptedDialogs::printDialog(const QString& documentName, QObject*) {
    Call call;
    call.kind = Kind::Print;
    call.documentName = documentName;
    m_calls << call;
    const std::optional<QString> pdf = m_printAnswers.isEmpty() ? std::nullopt : m_printAnswers.dequeue();
    return {false, pdf.value_or(QString())};
}

PrintRoute ScriptedDialogs::printPreview(const QString& documentName, QObject*) {
    Call call;
    call.kind = Kind::Preview;
    call.documentName = documentName;
    m_calls << call;
    return {false, m_previewAnswers.isEmpty() ? QString() : m_previewAnswers.dequeue()};
}
