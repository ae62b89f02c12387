// Writes a manual page to standard output from the same tables as --help: `orvanta`'s, or with
// the argument orvanta-verify the verification service's.
#include "CommandHelp.h"
#include "VerifyHelp.h"

#include <QString>
#include <QTextStream>

namespace {

QString verifyManualPage() {
    QList<CommandHelpEntry> options;
    for (const VerifyCommandOption& option : verifyCommandOptions())
        options.append({option.usage, option.description});
    return manualPageOf(QStringLiteral("orvanta-verify"), verifySummary(), verifySynopsis(), verifyIntroduction(),
                        {{QStringLiteral("选项"), options}});
}

} // namespace

int main(int argc, char* argv[]) {
    const bool verify = argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("orvanta-verify");
    QTextStream(stdout) << (verify ? verifyManualPage() : manualPage());
    return 0;
}
