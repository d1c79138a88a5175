#include "tools/QueryCommand.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/Query.h"

#include <QElapsedTimer>

#include <cstdio>
#include <string_view>

namespace {

const char kQueryHelp[] =
    "usage: lssdb query FILE \"SQL\" [--param NAME=VALUE]... [--password P] [--timing]\n"
    "\n"
    "Runs one statement on the database FILE through the program's own data layer (its\n"
    "connection string, password check and engine) and prints the result as tab-separated\n"
    "lines: the field names first, then one line per record, then \"N records\".\n"
    "A tab, line break or backslash inside a value is written as \\t, \\n, \\r or \\\\.\n"
    "Parameters are written :NAME in the statement and compared as text.\n"
    "--password gives the database password (default: the program's own; '' for none).\n"
    "--timing adds the times of connecting and of running the statement on stderr.\n"
    "On an error the message goes to stderr and the exit code is 1.\n";

// A value on its line: tab, line breaks and the backslash written as \t, \n, \r and \\, so
// every record stays one line of fields. The engine's bytes go out as they are (one thread
// writes: the stream's lock is not taken per cell).
void writeEscaped(std::FILE *out, std::string_view value)
{
    size_t from = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char *escape = nullptr;
        switch (value[i]) {
        case '\t': escape = "\\t"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\\': escape = "\\\\"; break;
        default: continue;
        }
        fwrite_unlocked(value.data() + from, 1, i - from, out);
        fputs_unlocked(escape, out);
        from = i + 1;
    }
    fwrite_unlocked(value.data() + from, 1, value.size() - from, out);
}

void writeUtf8(std::FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

} // namespace

int runQueryCommand(const QStringList &args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(kQueryHelp, stdout);
        return 0;
    }
    QStringList positional;
    QList<QPair<QString, QString>> params;
    bool timing = false;
    bool hasPassword = false;
    QString password;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--param")) {
            if (i + 1 >= args.size()) {
                std::fputs("lssdb query: --param needs NAME=VALUE\n", stderr);
                return 1;
            }
            const QString item = args.at(++i);
            const int eq = int(item.indexOf(QLatin1Char('=')));
            if (eq <= 0) {
                std::fputs("lssdb query: --param needs NAME=VALUE\n", stderr);
                return 1;
            }
            params.append({item.left(eq), item.mid(eq + 1)});
        } else if (a == QLatin1String("--password")) {
            if (i + 1 >= args.size()) {
                std::fputs("lssdb query: --password needs a value ('' for none)\n", stderr);
                return 1;
            }
            hasPassword = true;
            password = args.at(++i);
        } else if (a == QLatin1String("--timing")) {
            timing = true;
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kQueryHelp, stderr);
        return 1;
    }

    try {
        QElapsedTimer timer;
        timer.start();
        Connection connection;
        if (hasPassword) {
            // Quoted, so a password may hold ";".
            QString quoted = password;
            const QChar quote = quoted.contains(QLatin1Char('"')) ? QLatin1Char('\'') : QLatin1Char('"');
            connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=")
                                           + quote + quoted + quote + QStringLiteral(";Data Source=")
                                           + positional.at(0));
        } else {
            connection.setConnectionString(directoryConnectionString(positional.at(0)));
        }
        connection.setConnected(true);
        const qint64 connectMs = timer.elapsed();

        Query query;
        query.setConnection(&connection);
        query.SQL().Clear();
        for (const QString &line : positional.at(1).split(QLatin1Char('\n')))
            query.SQL().Add(line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line);
        for (const auto &p : params)
            query.ParamByName(p.first)->setValue(p.second);
        timer.restart();
        query.Open();
        const qint64 openMs = timer.elapsed();

        static char buffer[1 << 16];
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        const QStringList fields = query.fieldNames();
        writeUtf8(stdout, fields.join(QLatin1Char('\t')) + QLatin1Char('\n'));
        const int rows = query.RecordCount();
        for (int r = 0; r < rows; ++r) {
            for (int f = 0; f < fields.size(); ++f) {
                if (f)
                    fputc_unlocked('\t', stdout);
                writeEscaped(stdout, query.bytes(r, f));
            }
            fputc_unlocked('\n', stdout);
        }
        std::fprintf(stdout, "%d records\n", rows);
        std::fflush(stdout);
        if (timing)
            std::fprintf(stderr, "connect %lld ms, open %lld ms\n", qint64(connectMs), qint64(openMs));
        return 0;
    } catch (const Exception &e) {
        std::fflush(stdout);
        writeUtf8(stderr, e.message() + QLatin1Char('\n'));
        return 1;
    }
}
