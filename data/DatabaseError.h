#pragma once

#include "base/Exception.h"
#include "data/SqlErrors.h"
#include "data/jet/JetError.h"

// Errors of the data access layer: opening the database, running a statement, a missing field
// or parameter. The message is in Chinese, in the database provider's manner.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
    // The file-format layer's failure, worded by the data layer.
    explicit EDatabaseError(const jet::Error &e) : Exception(sqlerrors::message(e)) {}
};
