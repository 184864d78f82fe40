#pragma once

#include "data/EDatabaseError.h"

#include <functional>
#include <type_traits>

namespace tarvel {

// What the headless runner says when a step ran again on a new attachment.
inline constexpr const char* kReattachedNote =
    "The connection to the POS database was lost and has been re-established.";

// What the headless runner says when the POS database answers again after it let a deadline pass:
// the scans, failed at once meanwhile, are looked up again.
inline constexpr const char* kAnswersAgainNote = "The POS database answers again; scans are looked up again.";

// Runs `step`, a step that only reads, and once more when it failed because an attachment it used
// was lost: the connections attach afresh by themselves at their next call, so a database restart
// costs the step nothing. `reattached` runs after a second try that succeeded. A failure of the
// second try, and every other failure, leaves as it came; a connection that cannot attach at all is
// tried once.
template <typename Step>
auto RunReattaching(Step&& step, const std::function<void()>& reattached) -> std::invoke_result_t<Step&>
{
    try {
        return step();
    } catch (const EDatabaseError& error) {
        if (!error.AttachmentLost())
            throw;
    }
    if constexpr (std::is_void_v<std::invoke_result_t<Step&>>) {
        step();
        if (reattached)
            reattached();
    } else {
        auto result = step();
        if (reattached)
            reattached();
        return result;
    }
}

} // namespace tarvel
