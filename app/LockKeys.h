#pragma once
// Caps Lock and Num Lock as the keyboard shows them, for the main window's status bar.

#include <QObject>

class LockKeys : public QObject {
    Q_OBJECT

public:
    explicit LockKeys(QObject* parent = nullptr);

    bool capsLock() const;
    bool numLock() const;

signals:
    // A lock key was pressed in the program; the indicators may have changed.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Without a keyboard to ask, the states follow the lock keys pressed in the program.
    bool m_caps = false;
    bool m_num = false;
    const QEvent* m_lastKey = nullptr;
    quint64 m_lastTimestamp = 0;
};
