#pragma once

#include "data/jet/Writer.h"

#include <vector>

namespace jet {

// The six tables of the directory database, columns in order.
const std::vector<TableDef> &directorySchema();

// The table called `name` (exact spelling), or nullptr.
const TableDef *findDirectoryTable(const QString &name);

} // namespace jet
