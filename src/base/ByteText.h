#pragma once

#include <QByteArray>

// Every text of the system is 8-bit, one byte per character: scan codes and database texts reach the
// terminal and the log without conversion. These helpers work on bytes, never on characters.
namespace tarvel {

// Removes leading and trailing bytes of value 0x20 or below (blanks and control bytes).
QByteArray TrimBytes(const QByteArray& text);

// A switch is on exactly when its value is the one-character text "T".
inline bool IsSwitchOn(const QByteArray& value) { return value == "T"; }

// Encloses a value in single quotes, each single quote inside doubled: O'K becomes 'O''K'.
QByteArray QuoteSql(const QByteArray& value);

} // namespace tarvel
