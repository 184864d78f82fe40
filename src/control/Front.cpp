#include "control/Front.h"

#include "control/OperatorLog.h"

namespace tarvel {

void Front::appendLog(const QByteArray& line) { showLogLine(VisibleControlBytes(line)); }

QByteArray RemarkLine(const Remark& remark)
{
    switch (remark.kind) {
    case Remark::Kind::Warning:
        return "warning: " + remark.text;
    case Remark::Kind::Error:
        return "error: " + remark.text;
    case Remark::Kind::Info:
        break;
    }
    return "info: " + remark.text;
}

} // namespace tarvel
