#pragma once
// A status-bar panel whose text ends in "…" when the panel is too narrow for it (a main window on
// a small screen), the whole text then shown above its tooltip. It is cut between words, so a
// count is shown whole or not at all.

#include <QLabel>

class StatusLabel : public QLabel {
    Q_OBJECT

public:
    explicit StatusLabel(const QString& text, QWidget* parent = nullptr);

    // True when the panel shows less than its whole text.
    bool elided() const;
    // What the panel shows: the text, or as much as fits up to the end of a phrase or word, then "…".
    QString shownText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};
