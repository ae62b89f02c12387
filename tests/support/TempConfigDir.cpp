#include "TempConfigDir.h"

namespace {
constexpr char kVariable[] = "ORVANTA_CONFIG_DIR";
}

TempConfigDir::TempConfigDir()
    : m_previous(qgetenv(kVariable)), m_hadPrevious(qEnvironmentVariableIsSet(kVariable)) {
    qputenv(kVariable, m_dir.path().toLocal8Bit());
}

TempConfigDir::~TempConfigDir() {
    if (m_hadPrevious)
        qputenv(kVariable, m_previous);
    else
        qunsetenv(kVariable);
}
