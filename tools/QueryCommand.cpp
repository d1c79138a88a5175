#include "tools/QueryCommand.h"

#include <cstdio>

int runQueryCommand(const QStringList& args)
{
    Q_UNUSED(args);
    std::fputs("lssdb query: not available yet\n", stderr);
    return 1;
}
