#pragma once

#include <QString>

// The scheme and host of the system's web site, without a trailing "/".
// Built in (a deployment setting of the build) and overridable by LSS_SITE_BASE.
QString siteBaseAddress();
