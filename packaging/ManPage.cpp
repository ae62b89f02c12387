// Writes the manual page to standard output, from the same tables as `orvanta --help`.
#include "CommandHelp.h"

#include <QTextStream>

int main() {
    QTextStream(stdout) << manualPage();
    return 0;
}
