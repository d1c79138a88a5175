#pragma once

#include "data/jet/Writer.h"

#include <vector>

namespace jet {

// The six tables of the directory database, columns in order.
const std::vector<TableDef> &directorySchema();

} // namespace jet
