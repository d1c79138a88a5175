#pragma once

#include <QStringList>

// `lssdb build OUT CSVDIR [--password P]`. Returns the exit code.
int runBuildCommand(const QStringList& args);
