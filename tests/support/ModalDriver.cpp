#include "ModalDriver.h"

#include <QApplication>
#include <QWidget>

ModalDriver::ModalDriver(int unhandledTimeoutMs) : m_timeoutMs(unhandledTimeoutMs) {
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start(10);
}

ModalDriver::~ModalDriver() = default;

int ModalDriver::pending() const {
    int count = 0;
    for (const Handler& handler : m_handlers)
        count += handler.done ? 0 : 1;
    return count;
}

void ModalDriver::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        m_waitingOn = nullptr;
        return;
    }
    for (Handler& handler : m_handlers) {
        if (!handler.done && handler.matches(modal)) {
            handler.done = true;
            m_waitingOn = nullptr;
            handler.run(modal);
            return;
        }
    }
    if (modal != m_waitingOn) {
        m_waitingOn = modal;
        m_waiting.start();
    } else if (m_waiting.elapsed() > m_timeoutMs) {
        ++m_unhandled;
        m_waitingOn = nullptr;
        modal->close();
    }
}
