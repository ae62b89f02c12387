#pragma once
// Acts on the modal dialogs that code under test opens with exec(), so a test drives them and never
// blocks. Handlers run once each, in order of registration, on the first active modal dialog of
// their type. A modal dialog nobody handles is closed after a while, so a broken test fails instead
// of hanging.

#include <functional>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class QWidget;

class ModalDriver : public QObject {
    Q_OBJECT

public:
    explicit ModalDriver(int unhandledTimeoutMs = 5000);
    ~ModalDriver() override;

    template <typename Dialog> void on(std::function<void(Dialog*)> action) {
        m_handlers.append({[](QWidget* w) { return qobject_cast<Dialog*>(w) != nullptr; },
                           [action](QWidget* w) { action(qobject_cast<Dialog*>(w)); }, false});
    }

    // Handlers that have not run.
    int pending() const;
    // Modal dialogs that were closed because no handler took them.
    int unhandled() const { return m_unhandled; }

private:
    struct Handler {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> run;
        bool done;
    };
    void poll();

    QList<Handler> m_handlers;
    QTimer m_timer;
    QWidget* m_waitingOn = nullptr;
    QElapsedTimer m_waiting;
    int m_timeoutMs;
    int m_unhandled = 0;
};
