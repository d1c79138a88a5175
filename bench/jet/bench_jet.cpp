// Writer throughput: lawyer rows as lssdb generate makes them, short and long addresses.
#include "data/jet/DirectorySchema.h"
#include "data/jet/Writer.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void writeLawyers(benchmark::State &state, int addressChars)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    const QString address = QString(addressChars, QChar(u'路'));
    const jet::TableDef &lawyer = jet::directorySchema().front();
    for (auto _ : state) {
        jet::Writer w(path);
        w.beginTable(lawyer);
        for (int i = 0; i < state.range(0); ++i)
            w.addRow({i + 1, QStringLiteral("张三丰"), QStringLiteral("男"), QStringLiteral("广东"),
                      QStringLiteral("广州"), address, QStringLiteral("知识产权")});
        w.endTable();
        w.finish();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_WriteLawyersInlineAddress(benchmark::State &state)
{
    writeLawyers(state, 20);
}

void BM_WriteLawyersLongAddress(benchmark::State &state)
{
    writeLawyers(state, 120); // stored on long-value pages
}

} // namespace

BENCHMARK(BM_WriteLawyersInlineAddress)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLawyersLongAddress)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
