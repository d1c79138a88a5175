#pragma once

// The parts of the module's tables and cursors that its units share. Internal to the module.

#include "data/ColumnStore.h"
#include "data/JetVirtualTable.h"
#include "data/Prefilter.h"
#include "data/jet/JetRows.h"

#include <sqlite3.h>

#include <memory>
#include <vector>

namespace jetvtab::detail {

struct Table : sqlite3_vtab
{
    Catalog *catalog = nullptr;
    ColumnStore *store = nullptr;
    // Why no statement can read the table (it has no columns, or its definition is damaged);
    // empty when it reads.
    QString refusal;
    // The statement (Catalog::statement) whose scan last read the file without keeping what it
    // read: a scan the same statement starts again (the inner side of a join) decodes the
    // columns and keeps them, rather than read the whole file once per outer row.
    quint64 readOnce = 0;
};

struct Cursor : sqlite3_vtab_cursor, StreamedRows
{
    const ColumnStore *store = nullptr;
    size_t row = 0;
    size_t rows = 0;
    std::vector<Prefilter> prefilters;
    // With prefilters: the rows that pass them, visited in order (`index` is the position).
    bool listed = false;
    std::vector<uint32_t> candidates;
    size_t index = 0;
    // Columns the table has not decoded, read for the candidates alone: column -> values.
    std::vector<int> partialColumns;
    std::vector<std::unique_ptr<DecodedColumn>> partial;
    // Streaming: the rows straight from the file; `at[c]` is column c's place in its cells, or
    // -1 when the statement does not read it.
    std::unique_ptr<TableRows> stream;
    std::vector<int> at;
    size_t tested = 0; // a pass's first cells: the columns the prefilters test (testedFirst)
    bool streamEnded = false;

    bool nextRow() override
    {
        streamEnded = !nextStreamed();
        return !streamEnded;
    }
    const JetCell *cell(int column) const override
    {
        const int k = column >= 0 && size_t(column) < at.size() ? at[size_t(column)] : -1;
        return k < 0 ? nullptr : &stream->cells()[size_t(k)];
    }

    // The columns a pass over the file reads: those the prefilters test first (`tested` of
    // them), then `others`; `at` gets each column's place among them (-1: not read).
    std::vector<int> testedFirst(const std::vector<int> &filtered, const std::vector<int> &others, int columns)
    {
        at.assign(size_t(columns), -1);
        std::vector<int> read;
        auto reading = [&](int c) {
            if (c >= 0 && c < columns && at[size_t(c)] < 0) {
                at[size_t(c)] = int(read.size());
                read.push_back(c);
            }
        };
        for (int c : filtered)
            reading(c);
        tested = read.size();
        for (int c : others)
            reading(c);
        return read;
    }

    // Whether a row read by such a pass (its cells in the order testedFirst() gave) passes every
    // prefilter; only its tested cells are looked at.
    bool admitsCells(const std::vector<JetCell> &cells) const
    {
        for (const Prefilter &f : prefilters) {
            const JetCell &cell = cells[size_t(at[size_t(f.column)])];
            if (cell.isNull() || !f.admits(cell.text.data(), cell.text.size()))
                return false; // NULL LIKE / = ... is never true
        }
        return true;
    }

    // The stream's next row that passes every prefilter, decoded; false after the last. Each
    // row's tested columns are decoded first, the others only when it passes.
    bool nextStreamed()
    {
        if (prefilters.empty()) {
            const bool found = stream->next();
            row = stream->passed() - 1;
            return found;
        }
        const bool found =
            stream->nextWhere(tested, [this](const std::vector<JetCell> &cells) { return admitsCells(cells); });
        row = stream->passed() - 1; // the row's number in the table, as the other scans give it
        return found;
    }

    void moveTo(size_t i)
    {
        index = i;
        row = i < candidates.size() ? candidates[i] : rows;
    }

    // The rows that pass every prefilter: the first test searches its column whole (each of
    // its distinct texts once when the column keeps them so), the others look at the rows it
    // found.
    void listCandidates()
    {
        const Prefilter &first = prefilters.front();
        const DecodedColumn &col = store->column(first.column);
        if (col.dictionary && col.wide)
            first.matchingCodedRows(col.text.data(), col.ends.data(), col.texts(), col.wideCodes.data(), rows,
                                    candidates);
        else if (col.dictionary)
            first.matchingCodedRows(col.text.data(), col.ends.data(), col.texts(), col.codes.data(), rows, candidates);
        else
            first.matchingRows(col.text.data(), col.ends.data(), rows, candidates);
        // The search found exactly the rows whose text admits the first test; a null row, whose
        // text is empty, is never one of them.
        size_t kept = 0;
        for (uint32_t r : candidates)
            if (!col.isNull(r) && passes(r, 1))
                candidates[kept++] = r;
        candidates.resize(kept);
    }

    // Whether row r passes the prefilters from the `from`th on.
    bool passes(size_t r, size_t from) const
    {
        for (size_t k = from; k < prefilters.size(); ++k) {
            const Prefilter &f = prefilters[k];
            const DecodedColumn &col = store->column(f.column);
            if (col.isNull(r))
                return false; // NULL LIKE / = ... is never true
            size_t size;
            const char *p = col.textAt(r, size);
            if (!f.admits(p, size))
                return false;
        }
        return true;
    }
};

// The module's value calls: a column of the cursor's row, and the row's number.
int column(sqlite3_vtab_cursor *base, sqlite3_context *ctx, int c);
int rowid(sqlite3_vtab_cursor *base, sqlite3_int64 *out);

} // namespace jetvtab::detail
