#include "platform/Process.h"

namespace tarvel {

// A Windows session always has its desktop.
bool DisplayAvailable() { return true; }

// Windows sets no per-process limit on sockets and files that matters here.
qint64 OpenFileLimit() { return 0; }

} // namespace tarvel
