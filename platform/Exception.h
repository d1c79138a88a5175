#pragma once

#include "base/Exception.h"

// Raised when a platform resource (such as the notification area) refuses a request.
class EOutOfResources : public Exception
{
public:
    using Exception::Exception;
};
