#include "base/Front.h"

#include "base/OperatorLog.h"

namespace tarvel {

void Front::appendLog(const QByteArray& line) { showLogLine(VisibleControlBytes(line)); }

} // namespace tarvel
