#include "tools/GenerateCommand.h"

#include <cstdio>

int runGenerateCommand(const QStringList& args)
{
    Q_UNUSED(args);
    std::fputs("lssdb generate: not available yet\n", stderr);
    return 1;
}
