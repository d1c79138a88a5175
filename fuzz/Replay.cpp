// Runs a fuzz target's entry point once on each file of the given folders (or on given files),
// so that the kept corpus and every past crash input are checked by the ordinary test run.
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <dlfcn.h>

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

void onDeath()
{
    fuzz::releaseCaughtOutput();
}

void onSignal(int sig)
{
    fuzz::releaseCaughtOutput();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// What an input prints while the process dies (a sanitizer report, "terminate called ...")
// must reach the test log. With GCC the undefined-behaviour runtime is a library apart from
// the address one, with a death callback of its own.
void keepOutputOfDeath()
{
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(onDeath);
    if (void *ubsan = dlopen("libubsan.so.1", RTLD_NOW | RTLD_NOLOAD)) {
        if (auto set = reinterpret_cast<void (*)(void (*)(void))>(dlsym(ubsan, "__sanitizer_set_death_callback")))
            set(onDeath);
        dlclose(ubsan);
    }
    // A sanitizer reports faults through its own signal handlers; only the abort is left to us.
    std::signal(SIGABRT, onSignal);
    if (!__sanitizer_set_death_callback)
        for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
            std::signal(sig, onSignal);
}

} // namespace

int main(int argc, char **argv)
{
    fuzz::setReplay();
    keepOutputOfDeath();
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        if (arg.isDir()) {
            const QDir dir(arg.filePath());
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                files << dir.filePath(name);
        } else if (arg.isFile()) {
            files << arg.filePath();
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    int run = 0;
    for (const QString &path : files) {
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
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
        ++run;
    }
    std::printf("%d inputs replayed\n", run);
    // A folder left empty by mistake would pass silently.
    return run > 0 ? 0 : 1;
}
