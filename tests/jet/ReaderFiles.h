#pragma once
// What the reader's suites share: a sample file written with the writer's options, the rows
// read back as text, and the page structures of a written file found and changed by hand.

#include "SampleTables.h"

#include "data/jet/JetFile.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetPages.h"

#include <QLocale>
#include <QStringList>

#include <cstring>
#include <vector>

namespace readertest {

constexpr int kRows = 300;

inline QString cellText(const JetCell &c)
{
    switch (c.storage) {
    case JetCell::Null: return QString();
    case JetCell::Integer: return QString::number(c.integer);
    case JetCell::Real: return QString::fromLatin1(QByteArray::number(c.real, 'f', QLocale::FloatingPointShortest));
    case JetCell::Text: return QString::fromUtf8(c.text.data(), int(c.text.size()));
    }
    return QString();
}

struct Collect : JetRowSink
{
    QStringList columns;
    std::vector<QStringList> rows;
    std::vector<QVector<bool>> nulls;
    void begin(const QVector<JetColumn> &cols) override
    {
        for (const JetColumn &c : cols)
            columns << c.name;
    }
    void row(const std::vector<JetCell> &cells) override
    {
        QStringList r;
        QVector<bool> n;
        for (const JetCell &c : cells) {
            r << cellText(c);
            n << c.isNull();
        }
        rows.push_back(r);
        nulls.push_back(n);
    }
};

inline void writeSample(const QString &path, const QString &password, const jet::WriterOptions &options)
{
    jet::Writer w(path, password);
    w.setOptions(options);
    w.beginTable({QStringLiteral("T"), sample::columns()});
    for (int i = 0; i < kRows; ++i)
        w.addRow(sample::row(i).values);
    w.endTable();
    w.beginTable({QStringLiteral("U"), {{QStringLiteral("u_name"), jet::kText, 20}}});
    for (int i = 0; i < 3; ++i)
        w.addRow({QStringLiteral("u%1").arg(i)});
    w.endTable();
    w.finish();
}

inline quint32 u32(const QByteArray &b, int at)
{
    return jet::get32(reinterpret_cast<const uchar *>(b.constData()) + at);
}
inline void put32(QByteArray &b, int at, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = char(v >> (8 * k));
}

// The row slots of the data pages a table owns: byte offset of the slot entry and of the row.
struct Slot
{
    int entryAt;
    int rowAt;
    quint16 flags;
};
inline std::vector<Slot> slotsOf(const QByteArray &file, quint32 owner)
{
    std::vector<Slot> out;
    for (int p = 3; p < file.size() / 4096; ++p) {
        const int base = p * 4096;
        if (file.at(base) != 1 || u32(file, base + 4) != owner)
            continue;
        const int rows = int(jet::get16(reinterpret_cast<const uchar *>(file.constData()) + base + 12));
        for (int r = 0; r < rows; ++r) {
            const quint16 e = jet::get16(reinterpret_cast<const uchar *>(file.constData()) + base + 14 + 2 * r);
            out.push_back({base + 14 + 2 * r, base + (e & 0x1FFF), quint16(e & 0xC000)});
        }
    }
    return out;
}

// The first data page a table owns.
inline int firstDataPage(const QByteArray &file, quint32 owner)
{
    for (int p = 3; p < file.size() / 4096; ++p)
        if (file.at(p * 4096) == 1 && u32(file, p * 4096 + 4) == owner)
            return p;
    return -1;
}

// Rewrites the creation date inside the scrambled part of the header.
inline void setCreationDate(QByteArray &file, double date)
{
    auto *p = reinterpret_cast<unsigned char *>(file.data());
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    jet::rc4(key, 4, p + jet::kHeaderMaskStart, jet::kHeaderMaskLength);
    std::memcpy(p + jet::kCreationDateOffset, &date, 8);
    jet::rc4(key, 4, p + jet::kHeaderMaskStart, jet::kHeaderMaskLength);
}

// Table T of the sample files starts on the first page after the system tables, U after it.
constexpr quint32 kTablePage = 6;

} // namespace readertest
