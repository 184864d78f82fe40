#pragma once

#include <stdexcept>
#include <string>

namespace tarvel {

// The one general error type of the core. Its message is 8-bit text meant for the operator.
// Errors leave an event handler as exceptions and are caught once at the handler's edge, where they
// go to the front's general error report.
class TarvelError : public std::runtime_error {
public:
    explicit TarvelError(const std::string& message) : std::runtime_error(message) {}
};

// The text the general error report shows: the message, with a full stop appended when its last
// byte is above '.' in value ("Cannot create /x" gets one, "Error." and "Failed!" do not).
std::string GeneralErrorText(const std::string& message);

} // namespace tarvel
