#pragma once
// Reads tables back through libmdb, the way other programs see our files.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <mdbtools.h>

#include <vector>

struct Cell
{
    bool null = true;
    QString text;   // libmdb's UTF-8 rendering
    QByteArray raw; // the stored bytes of the field (for Memo: the 12-byte reference or inline form)

    // The stored UTF-16 text of a Text column, surrogates and all.
    QString storedText() const
    {
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(raw.constData()), raw.size() / 2);
    }
};

using Rows = std::vector<std::vector<Cell>>;

struct MdbTable
{
    QStringList columns;
    QList<int> types;
    QList<int> sizes;
    Rows rows;
    bool ok = false;
    unsigned long dbKey = 1;
};

inline MdbTable readWithLibmdb(const QString &path, const QString &tableName)
{
    MdbTable out;
    MdbHandle *mdb = mdb_open(path.toLocal8Bit().constData(), MDB_NOFLAGS);
    if (!mdb)
        return out;
    out.dbKey = mdb->f->db_key;
    const size_t bindSize = 1 << 20;
    mdb_set_bind_size(mdb, bindSize);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_read_catalog(mdb, MDB_TABLE);
    QByteArray name = tableName.toUtf8();
    MdbTableDef *t = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    if (!t) {
        mdb_close(mdb);
        return out;
    }
    mdb_read_columns(t);
    std::vector<std::vector<char>> bufs(t->num_cols, std::vector<char>(bindSize + 1));
    std::vector<int> lens(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(t->columns, i));
        out.columns << QString::fromUtf8(col->name);
        out.types << col->col_type;
        out.sizes << col->col_size;
        mdb_bind_column(t, int(i) + 1, bufs[i].data(), &lens[i]);
    }
    mdb_rewind_table(t);
    while (mdb_fetch_row(t)) {
        int start = 0;
        size_t len = 0;
        mdb_find_row(mdb, int(t->cur_row) - 1, &start, &len);
        std::vector<MdbField> fields(256);
        mdb_crack_row(t, start & 0x1fff, len, fields.data());
        std::vector<Cell> row(t->num_cols);
        for (unsigned i = 0; i < t->num_cols; ++i) {
            row[i].null = fields[i].is_null;
            row[i].text = QString::fromUtf8(bufs[i].data());
            if (!fields[i].is_null && fields[i].value)
                row[i].raw = QByteArray(static_cast<const char *>(fields[i].value), fields[i].siz);
        }
        out.rows.push_back(std::move(row));
    }
    mdb_free_tabledef(t);
    mdb_close(mdb);
    out.ok = true;
    return out;
}

struct ToolResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolResult runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    ToolResult r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
