#pragma once

#include "base/Errors.h"

namespace tarvel {

// Every failure of the database engine: Firebird's own message text, or the registry's.
// Guarded steps catch this kind only; others go on to the general error report.
class EDatabaseError : public TarvelError {
public:
    explicit EDatabaseError(const std::string& message, bool attachmentLost = false)
        : TarvelError(message), attachmentLost_(attachmentLost)
    {
    }

    // The call met an attachment that the server no longer has (a restart, a dropped network); the
    // connection attaches afresh at its next call. A new attachment that cannot be made is not this.
    bool AttachmentLost() const { return attachmentLost_; }

private:
    bool attachmentLost_;
};

} // namespace tarvel
