#pragma once

#include <QByteArray>

// Every text of the system is 8-bit, one byte per character: scan codes and database texts reach the
// terminal and the log without conversion. These helpers work on bytes, never on characters.
namespace tarvel {

// Removes leading and trailing bytes of value 0x20 or below (blanks and control bytes).
QByteArray TrimBytes(const QByteArray& text);

// A switch is on exactly when its value is the one-character text "T".
inline bool IsSwitchOn(const QByteArray& value) { return value == "T"; }

// The case of the hex digits in an escape such as \x0A.
enum class HexCase { Upper, Lower };

// The text with every control byte (below 32, and 127) written as "\x" and two hex digits in `hexCase`;
// all other bytes unchanged. The operator log writes upper case (\x0A), the terminal screen and the
// status page lower case (\x0a).
QByteArray VisibleControlBytes(const QByteArray& text, HexCase hexCase);

// Encloses a value in single quotes, each single quote inside doubled: O'K becomes 'O''K'.
QByteArray QuoteSql(const QByteArray& value);

} // namespace tarvel
