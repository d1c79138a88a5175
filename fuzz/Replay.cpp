// Runs a fuzz target's entry point once on each file of the given folders (or on given files),
// so that the kept corpus and every past crash input are checked by the ordinary test run.
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        if (arg.isDir()) {
            const QDir dir(arg.filePath());
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files << dir.filePath(name);
        } else if (arg.isFile()) {
            files << arg.filePath();
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    int run = 0;
    for (const QString& path : files) {
        if (QFileInfo(path).fileName().startsWith(QLatin1Char('.')))
            continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(path));
            return 2;
        }
        const QByteArray data = f.readAll();
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
        ++run;
    }
    std::printf("%d inputs replayed\n", run);
    // A folder left empty by mistake would pass silently.
    return run > 0 ? 0 : 1;
}
