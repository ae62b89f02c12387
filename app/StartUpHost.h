#pragma once
// The main window as the start-up dialogs see it: the flags they leave for the start-up sequence
// and the status panel that shows the logged-in operator.

#include <QString>

class StartUpHost {
public:
    virtual ~StartUpHost() = default;

    // The program is to end.
    bool bUnload = false;
    // An operator has logged in.
    bool bEnter = false;

    virtual void showOperator(const QString& name) = 0;
};
