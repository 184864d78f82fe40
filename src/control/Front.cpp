#include "control/Front.h"

#include "control/OperatorLog.h"

namespace tarvel {

void Front::appendLog(const QByteArray& line) { showLogLine(VisibleControlBytes(line)); }

} // namespace tarvel
