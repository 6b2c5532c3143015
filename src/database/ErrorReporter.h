#pragma once
// Where the database wrappers send a failure they have caught: the error
// report of the General module in the application, a recorder in tests.

#include "engine/EngineError.h"

#include <string>

class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // Shows and logs one report under the operation label.
    virtual void ReportError(const std::string& label, const engine::EngineError& error) = 0;
};
