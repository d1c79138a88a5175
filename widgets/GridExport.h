#pragma once

#include <QItemSelection>
#include <QString>

class QAbstractItemModel;
class QIODevice;

// What the grid hands on: the selected cells for the clipboard, the whole result as a CSV file.
namespace gridexport {

// The cells as tab-separated text, one line per row, within the rectangle that holds them all
// (a cell of it that is not selected stays empty). A tab or line break inside a cell becomes a
// space, so the text keeps its rows and columns when pasted.
// Read range by range, never cell list by cell list: a whole result selected stays cheap.
QString selectionAsText(const QItemSelection &selection);

// One CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line break.
QString csvField(const QString &text);

// Every row of the model as CSV: UTF-8 with a byte-order mark (spreadsheet programs read the
// Chinese text only then), a header of the column captions, lines ended by CR LF. Returns false
// when the device refuses to take the bytes.
bool writeCsv(const QAbstractItemModel &model, QIODevice &out);

} // namespace gridexport
