#pragma once

#include <QStringList>

// `lssdb build OUT CSVDIR [--password P]`; arguments after the subcommand name. Returns the exit code.
int runBuildCommand(const QStringList &args);

// The file a database written to `out` replaces: `out` itself, or through its symbolic links the
// file they name. Empty, with `error` set, when that is something other than a regular file (a
// device, a pipe, a directory), which a database must never replace.
QString resolveOutputFile(const QString &out, QString *error);
