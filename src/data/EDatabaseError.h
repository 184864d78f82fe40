#pragma once

#include "control/Errors.h"

namespace tarvel {

// Every failure of the database engine: Firebird's own message text, or the registry's.
// Guarded steps catch this kind only; others go on to the general error report.
class EDatabaseError : public TarvelError {
public:
    explicit EDatabaseError(const std::string& message) : TarvelError(message) {}
};

} // namespace tarvel
