#pragma once

#include <functional>

class QObject;

namespace tarvel {

// Calls `onStop` on the event thread when the process is asked to stop (SIGINT, SIGTERM, or SIGHUP: the
// ssh session or terminal of a headless run closed; Ctrl+C or a console close on Windows). `context`
// owns the notifier; call once per process, before the first database attachment (see the Linux notes
// in the source).
void InstallStopHandler(QObject* context, std::function<void()> onStop);

} // namespace tarvel
