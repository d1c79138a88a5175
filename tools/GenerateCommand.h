#pragma once

#include <QStringList>

// `lssdb generate OUT [--lawyers N] [--seed S]`. Returns the exit code.
int runGenerateCommand(const QStringList &args);
