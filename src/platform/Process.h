#pragma once

#include <QtGlobal>

namespace tarvel {

// Whether the window can have a display: on Unix a Qt platform chosen in QT_QPA_PLATFORM that needs none
// (offscreen, minimal, vnc...), else DISPLAY or WAYLAND_DISPLAY set. Always on Windows.
bool DisplayAvailable();

// How many descriptors this process may have open at once; 0 when the platform sets no such limit.
qint64 OpenFileLimit();

} // namespace tarvel
