#pragma once

#include <string>

namespace tarvel {

class Front;

// Hands an error to the front's report of background failures (Front::showBackgroundErrorBox) once the
// running handler has returned (a queued call on the event loop): a modal box must never open inside a
// socket's signal, whose socket may be deleted under it. The front must outlive the event loop's next
// turn.
void ReportErrorLater(Front& front, const std::string& message);

// Shows the general error report now. For handlers that are not socket signals (clicks, timer ticks).
void ReportErrorNow(Front& front, const std::string& message);

} // namespace tarvel
