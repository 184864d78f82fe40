#include "base/Front.h"

#include "base/ByteText.h"

namespace tarvel {

void Front::appendLog(const QByteArray& line) { showLogLine(VisibleControlBytes(line, HexCase::Upper)); }

} // namespace tarvel
