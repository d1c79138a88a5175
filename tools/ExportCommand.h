#pragma once

#include <QStringList>

// `lssdb export FILE OUTDIR [--password P]`: one CSV file per table, in the form `build` reads.
int runExportCommand(const QStringList &args);

// `lssdb tables FILE` and `lssdb schema FILE [TABLE...]`: the tables, and their columns with
// their Jet types.
int runTablesCommand(const QStringList &args);
int runSchemaCommand(const QStringList &args);
