#include "platform/Site.h"

#include <QtGlobal>

#ifndef LSS_SITE_BASE_DEFAULT
#define LSS_SITE_BASE_DEFAULT "http://www.quillhall.example"
#endif

QString siteBaseAddress()
{
    QString base = qEnvironmentVariableIsSet("LSS_SITE_BASE") ? qEnvironmentVariable("LSS_SITE_BASE")
                                                              : QString::fromUtf8(LSS_SITE_BASE_DEFAULT);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}
