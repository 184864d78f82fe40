#pragma once

#include "base/RunContext.h"

#include <QByteArray>

namespace tarvel {

// Cuts the code out of one message: after "]C1" at characters 2 to 4, after "FF" at characters 1 and 2,
// or after one leading byte; the last byte is dropped in every case (the terminal ends a scan with CR).
// Comparisons are case-sensitive; a range that does not exist yields an empty code. Pure.
QByteArray CutCode(const QByteArray& message);

// The code an unregistered terminal's scan is looked up with.
inline constexpr const char* kUnregisteredCode = "Un-Registered";

// Drops the check digit (the last byte) of an 8-character code when TrimEan8Digits is on, then of a
// 13-character code when TrimEan13Digits is on. Only the length (of the code trimmed of bytes 0x20 and
// below) is tested. Pure.
QByteArray TrimCheckDigits(QByteArray code, const ServiceSettings& settings);

} // namespace tarvel
