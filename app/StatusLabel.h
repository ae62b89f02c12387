#pragma once
// A status-bar panel whose text ends in "…" when the panel is too narrow for it (a main window on
// a small screen), the whole text then shown above its tooltip.

#include <QLabel>

class StatusLabel : public QLabel {
    Q_OBJECT

public:
    explicit StatusLabel(const QString& text, QWidget* parent = nullptr);

    // True when the panel shows less than its whole text.
    bool elided() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};
