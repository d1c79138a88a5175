#pragma once
// Reading a table back every way the program and other tools read it, as rows of text: cells
// joined by U+001F, NULL as the empty text.

#include "jet/MdbRead.h"

#include "data/ResultSet.h"
#include "data/SqlEngine.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"

#include <QFile>
#include <QStringList>

#include <vector>

namespace readback {

constexpr QChar kCell(0x1f);
constexpr QChar kRow(0x1e);

inline QString cellText(const JetCell &c)
{
    switch (c.storage) {
    case JetCell::Integer: return QString::number(c.integer);
    case JetCell::Text: return QString::fromUtf8(c.text.data(), int(c.text.size()));
    default: return QString();
    }
}

struct RowTexts : JetRowSink
{
    QStringList rows;
    void begin(const QVector<JetColumn> &) override {}
    void row(const std::vector<JetCell> &cells) override
    {
        QStringList r;
        for (const JetCell &c : cells)
            r << cellText(c);
        rows << r.join(kCell);
    }
};

inline QStringList engineRows(SqlEngine &engine, const QString &table)
{
    const std::unique_ptr<ResultSet> r = engine.execute(QStringLiteral("SELECT * FROM %1").arg(table), {});
    QStringList rows;
    for (int i = 0; i < r->rowCount(); ++i) {
        QStringList cells;
        for (int f = 0; f < r->fieldCount(); ++f)
            cells << r->value(i, f);
        rows << cells.join(kCell);
    }
    return rows;
}

inline QStringList exportedRows(const QString &path, const QString &table)
{
    const ToolResult m =
        runTool(QStringLiteral("mdb-export"), {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"),
                                               QString(kCell), QStringLiteral("-R"), QString(kRow), path, table});
    if (m.exitCode != 0)
        return {QStringLiteral("mdb-export failed: ") + QString::fromUtf8(m.err)};
    QStringList rows = QString::fromUtf8(m.out).split(kRow);
    if (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

inline quint32 u32(const QByteArray &b, qsizetype at)
{
    return jet::get32(reinterpret_cast<const uchar *>(b.constData()) + at);
}

// The data pages a table owns, ascending: the order in which its rows are read.
inline std::vector<int> dataPages(const QByteArray &file, quint32 owner)
{
    std::vector<int> pages;
    for (int p = 3; p < file.size() / 4096; ++p)
        if (file.at(p * 4096) == 1 && u32(file, p * 4096 + 4) == owner)
            pages.push_back(p);
    return pages;
}

inline quint32 tablePage(const QString &path, const QString &table)
{
    const MdbTable cat = readWithLibmdb(path, QStringLiteral("MSysObjects"));
    for (const auto &r : cat.rows)
        if (r[2].text == table)
            return r[0].text.toUInt();
    return 0;
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace readback
