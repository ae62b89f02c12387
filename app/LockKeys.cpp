#include "LockKeys.h"

#include <optional>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibrary>
#include <QTimer>

namespace {

// The X server's keyboard indicators, reached through the Xlib that Qt's X11 platform already
// loaded. Resolved at run time so the program does not depend on X11 elsewhere.
class XkbIndicators {
public:
    static XkbIndicators& instance() {
        static XkbIndicators indicators;
        return indicators;
    }

    std::optional<bool> state(const char* name) const {
        void* display = currentDisplay();
        if (!display || !m_internAtom || !m_getNamedIndicator) return std::nullopt;
        int on = 0;
        if (!m_getNamedIndicator(display, m_internAtom(display, name, 0), nullptr, &on, nullptr, nullptr))
            return std::nullopt;
        return on != 0;
    }

private:
    using InternAtom = unsigned long (*)(void*, const char*, int);
    using GetNamedIndicator = int (*)(void*, unsigned long, int*, int*, void*, int*);

    XkbIndicators() {
        if (!currentDisplay()) return;
        QLibrary xlib(QStringLiteral("X11"), 6);
        m_internAtom = reinterpret_cast<InternAtom>(xlib.resolve("XInternAtom"));
        m_getNamedIndicator = reinterpret_cast<GetNamedIndicator>(xlib.resolve("XkbGetNamedIndicator"));
    }

    static void* currentDisplay() {
#if QT_CONFIG(xcb)
        if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
            return x11->display();
#endif
        return nullptr;
    }

    InternAtom m_internAtom = nullptr;
    GetNamedIndicator m_getNamedIndicator = nullptr;
};

} // namespace

LockKeys::LockKeys(QObject* parent) : QObject(parent) {
    if (qGuiApp) qGuiApp->installEventFilter(this);
}

bool LockKeys::capsLock() const {
    return XkbIndicators::instance().state("Caps Lock").value_or(m_caps);
}

bool LockKeys::numLock() const {
    return XkbIndicators::instance().state("Num Lock").value_or(m_num);
}

bool LockKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // One key press reaches the filter once for every parent it propagates to.
        const bool seen = key == m_lastKey && key->timestamp() == m_lastTimestamp;
        m_lastKey = key;
        m_lastTimestamp = key->timestamp();
        if (!seen && !key->isAutoRepeat() &&
            (key->key() == Qt::Key_CapsLock || key->key() == Qt::Key_NumLock)) {
            (key->key() == Qt::Key_CapsLock ? m_caps : m_num) ^= true;
            // The server switches its indicator around the key event: read it once that is done.
            QTimer::singleShot(50, this, &LockKeys::changed);
        }
    }
    return QObject::eventFilter(watched, event);
}
