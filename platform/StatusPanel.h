#pragma once
// Panel 1 of the main window's status bar, as every floor sees it: a text that is kept until a
// window shows it, so it can be set before the main window exists (or where none ever does).

#include <functional>
#include <QPointer>
#include <QString>

class StatusPanel {
public:
    // "就绪" shows the ready text, once one is set.
    void setText(const QString& text);
    QString text() const { return m_text; }
    // What the panel says while nothing is going on (a reminder): every window that finishes its
    // work says 就绪, and that brings it back. Shown at once.
    void setReadyText(const QString& text);

    // Shows the text on `label` from now on (any object with setText, e.g. a QLabel), as long as
    // it lives.
    template <class Label> void attach(Label* label) {
        const QPointer<Label> shown(label);
        showWith(label ? std::function<void(const QString&)>([shown](const QString& text) {
            if (shown) shown->setText(text);
        })
                       : std::function<void(const QString&)>());
    }

private:
    void showWith(std::function<void(const QString&)> show);

    QString m_text = QStringLiteral("就绪");
    QString m_readyText;
    std::function<void(const QString&)> m_show;
};

extern StatusPanel gStatusPanel;
