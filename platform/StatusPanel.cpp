#include "StatusPanel.h"

StatusPanel gStatusPanel;

void StatusPanel::setText(const QString& text) {
    m_text = text;
    if (m_show) m_show(text);
}

void StatusPanel::showWith(std::function<void(const QString&)> show) {
    m_show = std::move(show);
    if (m_show) m_show(m_text);
}
