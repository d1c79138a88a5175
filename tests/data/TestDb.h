#pragma once

#include "data/jet/Writer.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

// Small databases for the data-layer tests, written with the Jet writer.
namespace testdb {

// People (4 rows, then `extra` more named "Extra<n>" in 郑州) and an empty table Nobody.
inline void writePeople(const QString &path, const QString &password = QStringLiteral("41729063"), int extra = 0)
{
    jet::Writer w(path, password);
    jet::TableDef people{QStringLiteral("People"),
                         {{QStringLiteral("p_Name"), jet::kText, 50},
                          {QStringLiteral("p_City"), jet::kText, 50},
                          {QStringLiteral("p_Age"), jet::kLong, 0},
                          {QStringLiteral("p_Born"), jet::kDateTime, 0},
                          {QStringLiteral("p_Note"), jet::kMemo, 0}}};
    w.beginTable(people);
    w.addRow({QStringLiteral("Anna"), QStringLiteral("北京"), 31, QDateTime(QDate(1990, 5, 1), QTime(0, 0)),
              QStringLiteral("short")});
    w.addRow({QStringLiteral("bob"), QStringLiteral("北京市"), -7, QDateTime(QDate(2001, 12, 31), QTime(13, 45, 10)),
              QString(QStringLiteral("长备注").repeated(200))});
    w.addRow({QStringLiteral("O'Brien"), QVariant(), QVariant(), QVariant(), QVariant()});
    w.addRow({QStringLiteral("ÄRGER"), QStringLiteral("Zürich"), 0, QVariant(), QString()});
    for (int i = 0; i < extra; ++i)
        w.addRow({QStringLiteral("Extra%1").arg(i), QStringLiteral("郑州"), i, QVariant(), QVariant()});
    w.endTable();
    jet::TableDef empty{QStringLiteral("Nobody"), {{QStringLiteral("n_x"), jet::kText, 10}}};
    w.beginTable(empty);
    w.endTable();
    w.finish();
}

} // namespace testdb
