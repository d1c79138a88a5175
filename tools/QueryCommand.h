#pragma once

#include <QStringList>

// `lssdb query ...`; arguments after the subcommand name. Returns the exit code.
int runQueryCommand(const QStringList &args);
