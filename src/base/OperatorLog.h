#pragma once

#include <QByteArray>

namespace tarvel {

// Fits a log label: trims bytes 0x20 and below from both ends, then pads with '.' to 40 bytes or cuts
// to its first 40.
QByteArray FormatLogLabel(const QByteArray& text);

// The fixed status words that follow some labels.
inline constexpr const char* kStatusConnected = " [connected...]";
inline constexpr const char* kStatusError = " [error.......]";
inline constexpr const char* kStatusDone = " [done........]";
inline constexpr const char* kStatusDenied = " [denied......]";

// A fitted label followed by "[" value "]".
QByteArray LogLineWithValue(const QByteArray& label, const QByteArray& value);

} // namespace tarvel
