#pragma once

#include "data/jet/JetPages.h"
#include "data/jet/JetTypes.h"

#include <QString>

#include <vector>

namespace jet {

// A column as the table definition declares it.
struct StoredColumn
{
    QString name;
    quint8 type = 0;
    int number = 0;      // bit in the null mask
    int varIndex = 0;    // entry in the row's offset table (variable columns)
    int fixedOffset = 0; // after the row's column count (fixed columns)
    int size = 0;
    bool fixed = false;
    int precision = 0; // Decimal
    int scale = 0;     // Decimal
};

struct StoredTable
{
    QString name;
    quint32 page = 0;       // its definition page: data pages name it as their owner
    quint32 rowCount = 0;   // as the definition states it
    quint32 ownedPages = 0; // row pointer of the usage map of its data pages
    std::vector<StoredColumn> columns;
    // False when its column definitions contradict the format or each other (a type against its
    // size or layout, a number used twice, a name Jet would not store): reading it is damage.
    bool sound = true;
};

// Reads the definition (over as many pages as it continues on). Damaged when any part of it
// does not fit its pages.
StoredTable readTableDef(const PageFile &file, quint32 page, const QString &name);

// Whether a table or column name is one Jet stores: 1 to 64 characters, none of them a control
// character.
bool validName(const QString &name);

} // namespace jet
