#pragma once

#include <QByteArray>

#include <optional>

// The profile-file rules of the settings files, as plain functions over the file's bytes. No file is
// touched here: IniFile reads the bytes, calls these, and writes the result.
//
// The rules: a section line holds its name between "[" and "]"; a key line holds the key, "=" and the
// value; a line starting with ";" is a comment; any other line is ignored, as are key lines before the
// first section. Section and key names match without regard to ASCII letter case. A repeated section
// or key: the first one counts, for reads and for writes. A leading UTF-8 byte order mark (as some
// editors save) is skipped by the reader and kept by the writer.
namespace tarvel {

// The longest value a read returns; a longer one is cut to this many bytes.
inline constexpr qsizetype kIniValueLimit = 2047;

// The value of the key as a read returns it: trimmed of blanks, one pair of surrounding double or
// single quotes removed, cut to kIniValueLimit bytes. Empty optional when the section or key is
// missing; an empty value is an empty text, not a missing key.
std::optional<QByteArray> FindIniValue(const QByteArray& content, const QByteArray& section, const QByteArray& key);

// The file content after writing the value: an existing key gets the new value where it stands (its
// name and the blanks around "=" kept as written), a missing key is added after the last key line of
// its section, a missing section is added at the end. Every other line stays byte for byte. Added
// lines end like the line they follow, or like the file's first line where there is none to follow;
// an empty content gets CRLF line endings.
// Throws TarvelError when the section, key or value could not be read back as written (a line break
// anywhere, a "]" in the section, a "=" in the key, an empty section or key, a name with bytes 0x20
// or below at either end, a key starting with ";" or "["). A value reads back as any value is read:
// blanks around it and one pair of quotes dropped.
QByteArray SetIniValue(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                       const QByteArray& value);

// A value read as an integer: "0x"/"0X" followed by hex digits (only when the text is longer than two
// characters), else an optional sign followed by decimal digits or by "$" and hex digits. Empty optional
// for anything else, for the empty text, and for a number outside the 32-bit signed range.
std::optional<int> ParseIniInteger(const QByteArray& text);

} // namespace tarvel
