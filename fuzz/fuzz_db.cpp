// A directory file, opened with the program's password and read table by table, every row and
// every column, through the data layer. A damaged file must end in one of the layer's Chinese
// messages: no crash, no other exception, no text of a library on the terminal, and the
// connection stays usable for the tables after a damaged one.
#include "fuzz/FuzzSupport.h"

#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"

#include <memory>

namespace {

QString quotedName(QString name)
{
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

void checkMessage(const EDatabaseError& e)
{
    fuzz::check(fuzz::hasChinese(e.message()), "a data layer error is not a Chinese message", e.message());
}

void readEverything(const QString& path)
{
    std::unique_ptr<SqlEngine> engine;
    try {
        engine = std::make_unique<SqlEngine>(path, QStringLiteral("41729063"));
    } catch (const EDatabaseError& e) {
        checkMessage(e);
        return;
    }
    QStringList tables;
    try {
        tables = engine->tableNames();
    } catch (const EDatabaseError& e) {
        checkMessage(e);
        return;
    }
    for (const QString& table : tables) {
        try {
            const std::unique_ptr<ResultSet> rows = engine->execute(QStringLiteral("SELECT * FROM ") + quotedName(table), {});
            qsizetype chars = 0;
            for (int r = 0; r < rows->rowCount(); ++r)
                for (int c = 0; c < rows->fieldCount(); ++c)
                    chars += rows->value(r, c).size();
            (void)chars;
        } catch (const EDatabaseError& e) {
            checkMessage(e);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::MemoryFile file(data, size);
    fuzz::OutputCatcher output;
    readEverything(file.path());
    const QByteArray printed = output.take();
    // LSS_FUZZ_IGNORE_OUTPUT=1 looks past a known leak of library text for deeper faults.
    static const bool ignoreOutput = qEnvironmentVariableIntValue("LSS_FUZZ_IGNORE_OUTPUT") == 1;
    fuzz::check(printed.isEmpty() || ignoreOutput, "reading the file printed text of its own", QString::fromLocal8Bit(printed));
    return 0;
}

// The LIKE matcher and text comparison get a target of their own, checked against a slow
// reference matcher, once the pattern syntax ([abc], [!abc], [a-z]) has settled.
