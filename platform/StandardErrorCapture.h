#pragma once
// Takes what the process writes to standard error while it lives (a library's own warnings), so
// that it can be told in a report instead of reaching the terminal.

#include <QStringList>

class StandardErrorCapture {
public:
    StandardErrorCapture();
    ~StandardErrorCapture();
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    // The lines written so far, each once, with how often it came when more than once.
    QStringList lines() const;

private:
    int m_saved = -1;   // standard error as it was
    int m_capture = -1; // where it goes meanwhile
};
