// lssdb: makes and inspects the directory database.
#include "tools/BuildCommand.h"
#include "tools/ExportCommand.h"
#include "tools/GenerateCommand.h"
#include "tools/QueryCommand.h"
#include "tools/ToolSupport.h"

#include "data/jet/DirectorySchema.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>

namespace {

const char kHelp[] = "usage: lssdb COMMAND [ARGS]\n"
                     "\n"
                     "  build OUT CSVDIR [--password P]\n"
                     "      Writes the Jet 4.0 database OUT from one UTF-8 CSV file per table in CSVDIR:\n"
                     "      lawyer.csv, lawRoom.csv, Hongkong.csv, HongkongLawyerInfo.csv, Macao.csv, Taiwan.csv.\n"
                     "      The first row names the columns (any order; columns left out are NULL).\n"
                     "      Fields follow RFC 4180: separated by commas, quoted with double quotes, a quote\n"
                     "      inside a quoted field doubled.\n"
                     "      An empty unquoted field is NULL; an empty quoted field \"\" is the empty text.\n"
                     "      Dates (mc_date, mc_reg_date): yyyy-MM-dd or yyyy-MM-dd hh:mm:ss.\n"
                     "      Text columns hold at most 255 characters; l_address, h_address, tw_address and\n"
                     "      hl_copartner are Memo columns without that limit.\n"
                     "      The password defaults to the directory's fixed one; --password \"\" writes none.\n"
                     "      On any error nothing is written and the exit code is 1.\n"
                     "\n"
                     "  generate OUT [--lawyers N] [--seed S]\n"
                     "      Writes a fictional directory: N mainland lawyers (default 2000) and the other\n"
                     "      tables scaled to it. The same N and S always give the same entries.\n"
                     "\n"
                     "  export FILE OUTDIR [--password P]\n"
                     "      Writes each table of the Jet 4 database FILE to OUTDIR/TABLE.csv in the form build\n"
                     "      reads: the column names first, then one record per line (CR LF), NULL as an empty\n"
                     "      unquoted field, the empty text as \"\", dates as yyyy-MM-dd[ hh:mm:ss]. Other types\n"
                     "      go out in their text form: numbers as digits, Yes/No as True or False, binary data\n"
                     "      as hexadecimal digits; numbers as lssdb query writes them (-0, NaN, Infinity,\n"
                     "      1e308). export, build and export again give the same files. All or nothing: the\n"
                     "      files are written beside OUTDIR first and put in place only when every table is\n"
                     "      written; other files in OUTDIR stay, and on failure nothing changes.\n"
                     "\n"
                     "  tables FILE [--password P]\n"
                     "      Lists the tables of FILE, one per line.\n"
                     "\n"
                     "  schema FILE [TABLE...] [--password P]\n"
                     "      Lists the columns of each table (or of the tables named) with their Jet types.\n"
                     "\n"
                     "  query FILE \"SQL\"|- [--format tsv|csv|json] [--timing] ...\n"
                     "      Runs a statement on a database (see lssdb query --help).\n"
                     "\n"
                     "  --version\n"
                     "      Shows the version.\n"
                     "\n"
                     "  --help\n"
                     "      Shows this text.\n"
                     "\n"
                     "The password of export, tables, schema and query defaults to the directory's fixed one\n"
                     "(--password '' for none). Every option with a value may be written --option=value.\n"
                     "Errors go to stderr, in Chinese, and the exit code is 1.\n";

// The tables with their columns, in the order the database declares them.
void printTables(std::FILE *out)
{
    std::fputs("\nTables and columns (CSV file: column (type), ...):\n", out);
    for (const jet::TableDef &t : jet::directorySchema()) {
        QStringList columns;
        for (const jet::ColumnDef &c : t.columns)
            columns << QStringLiteral("%1 (%2)").arg(c.name, jet::typeName(c.type, jet::TypeNames::English));
        std::fprintf(out, "  %s.csv: %s\n", qPrintable(t.name), qPrintable(columns.join(QStringLiteral(", "))));
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A file size limit reached is a failed write, reported and cleaned up, not a kill.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        const QByteArray usage = QStringLiteral("lssdb: 缺少命令（lssdb --help 列出各命令）\n").toUtf8();
        std::fwrite(usage.constData(), 1, size_t(usage.size()), stderr);
        return 1;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(kHelp, stdout);
        printTables(stdout);
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("version")) {
        std::fputs("lssdb " LSS_VERSION "\n", stdout);
        return 0;
    }
    if (command == QLatin1String("build"))
        return runBuildCommand(args);
    if (command == QLatin1String("generate"))
        return runGenerateCommand(args);
    if (command == QLatin1String("query"))
        return runQueryCommand(args);
    if (command == QLatin1String("export"))
        return runExportCommand(args);
    if (command == QLatin1String("tables"))
        return runTablesCommand(args);
    if (command == QLatin1String("schema"))
        return runSchemaCommand(args);
    printError(command, QStringLiteral("未知命令（lssdb --help 列出各命令）"));
    return 1;
}
