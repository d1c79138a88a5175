#pragma once

#include <QRect>
#include <QString>
#include <QVector>

class GridModel;
class QIODevice;
class QItemSelection;
class WorkProgress;

// What the grid hands on: the selected cells for the clipboard, the whole result as a CSV file.
// Both read the model's cells as UTF-8 without copies and may run off the GUI thread while the
// result stays open; both follow the order the grid shows.
namespace gridexport {

// A selection as rectangles of cells (x: columns, y: rows), taken on the GUI thread.
QVector<QRect> rangesOf(const QItemSelection &selection);

// The cells as tab-separated text, one line per row, within the rectangle that holds them all
// (a cell of it that is not selected stays empty). A tab or line break inside a cell (CR, LF,
// vertical tab, form feed, U+0085, U+2028, U+2029) becomes a space, so the text keeps its rows
// and columns when pasted. Empty when `progress` says the user cancelled.
QString selectionAsText(const GridModel &model, const QVector<QRect> &ranges, WorkProgress *progress = nullptr);

// Every row of the model as CSV, a field quoted (quotes doubled) when it holds a comma, a quote
// or a line break: UTF-8 with a byte-order mark (spreadsheet programs read the
// Chinese text only then), a header of the column captions, lines ended by CR LF. Returns false
// when the device refuses to take the bytes or `progress` says the user cancelled.
bool writeCsv(const GridModel &model, QIODevice &out, WorkProgress *progress = nullptr);

} // namespace gridexport
