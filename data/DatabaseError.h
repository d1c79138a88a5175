#pragma once

#include "data/jet/JetError.h"
#include "platform/Exception.h"

// Errors of the data access layer: opening the database, running a statement, a missing field
// or parameter. The message is in Chinese, in the database provider's manner.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
    // The file-format layer's failure: its message is already the one to show.
    explicit EDatabaseError(const jet::Error &e) : Exception(e.message()) {}
};
