#include "StatusPanel.h"

StatusPanel gStatusPanel;

namespace {
const QString kReady = QStringLiteral("就绪");
} // namespace

void StatusPanel::setText(const QString& text) {
    m_text = text == kReady && !m_readyText.isEmpty() ? m_readyText : text;
    if (m_show) m_show(m_text);
}

void StatusPanel::setReadyText(const QString& text) {
    m_readyText = text;
    setText(kReady);
}

void StatusPanel::showWith(std::function<void(const QString&)> show) {
    m_show = std::move(show);
    if (m_show) m_show(m_text);
}
