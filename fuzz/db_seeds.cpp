// Writes the seed files of the database target that lssdb cannot: every column type, and the
// structures a file edited in Access holds (moved and deleted rows, pages of a dropped table,
// compressed text), each small; with --damaged, the files of one fault each that the reader
// refuses (kept under fuzz/crashes/db).
//   fuzz_db_seeds OUTDIR
//   fuzz_db_seeds --damaged OUTDIR
#include "data/jet/Writer.h"
#include "jet/FileDamage.h"
#include "jet/SampleTables.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void write(const QString &path, const QString &password, const jet::WriterOptions &options, const QList<int> &rows)
{
    jet::Writer w(path, password);
    w.setOptions(options);
    w.setCreationDate(QDateTime(QDate(2020, 5, 17), QTime(9, 30)));
    w.beginTable({QStringLiteral("T"), sample::columns()});
    for (const int i : rows)
        w.addRow(sample::row(i).values);
    w.endTable();
    w.beginTable({QStringLiteral("U"), {{QStringLiteral("u_name"), jet::kText, 20}}});
    for (int i = 0; i < 7; ++i)
        w.addRow({QStringLiteral("u%1 名字").arg(i)});
    w.endTable();
    w.finish();
}

// Files that contradict themselves in one place each, kept beside the crash inputs so that every
// replay checks the reader still refuses them.
void writeDamaged(const QDir &out)
{
    using filedamage::Fault;
    const struct
    {
        const char *name;
        Fault damage;
        int moveEvery;
    } files[] = {
        {"usage-map-bit-cleared.mdb", Fault::MapBitCleared, 0},
        {"page-row-count-lowered.mdb", Fault::RowCountLowered, 0},
        {"row-flagged-deleted-count-kept.mdb", Fault::SlotDeleted, 0},
        {"long-values-share-a-chain-tail.mdb", Fault::SharedChainTail, 0},
        {"moved-row-points-at-a-live-row.mdb", Fault::MovedToLiveRow, 2},
    };
    for (const auto &f : files) {
        jet::WriterOptions options;
        options.moveEvery = f.moveEvery;
        // Rows 3, 4, 8 and 9 keep long values over chains of pages: only the shared tail needs them;
        // a usage map needs two data pages to leave one out.
        QList<int> rows;
        for (int i = 0; i < (f.damage == Fault::MapBitCleared ? 60 : 24); ++i)
            if (i % 5 < 3 || (f.damage == Fault::SharedChainTail && i < 10))
                rows << i;
        const QString path = out.filePath(QString::fromLatin1(f.name));
        write(path, QString::fromLatin1(jet::kDirectoryPassword), options, rows);
        if (!filedamage::damage(path, f.damage)) {
            std::fprintf(stderr, "fuzz_db_seeds: cannot damage %s\n", f.name);
            std::exit(1);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--damaged") == 0) {
        writeDamaged(QDir(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    if (argc != 2) {
        std::fputs("usage: fuzz_db_seeds OUTDIR | fuzz_db_seeds --damaged OUTDIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString program = QString::fromLatin1(jet::kDirectoryPassword);
    // Row 3 holds a memo and an OLE value over a chain of pages, rows 2 and 6 long values of
    // one page.
    write(out.filePath(QStringLiteral("types.mdb")), program, {}, {0, 1, 2, 3, 4, 5, 6});
    // No chains, so that the moved and deleted rows are most of the file.
    write(out.filePath(QStringLiteral("edited.mdb")), QString(), {true, 3, 2, true}, {0, 1, 4, 5, 12, 16, 17, 20, 21});
    write(out.filePath(QStringLiteral("other-password.mdb")), QStringLiteral("p;w\"d"), {true, 2, 0, false}, {1, 4});
    // As other Jet writers lay tables out: fixed Text, Decimal in the variable part, usage maps
    // at high slots.
    jet::WriterOptions others;
    others.fixedText = true;
    others.variableDecimal = true;
    others.mapSlotsFrom = 130;
    write(out.filePath(QStringLiteral("other-writers.mdb")), program, others, {0, 1, 4, 5});
    return 0;
}
