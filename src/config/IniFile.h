#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarvel {

// The most a settings file may hold: a store's file is a few hundred bytes.
inline constexpr qint64 kSettingsFileLimit = 1 << 20;

// The bytes of a settings file (or another small file of the operator's, `what` it is), reading no
// more than kSettingsFileLimit + 1 of them; nothing when it cannot be opened (missing, a folder, no
// permission). Throws TarvelError naming the file and its size when it holds more than the limit (a
// device such as /dev/zero included): "<path> is 20.0 MiB (20971520 bytes): a settings file over 1 MiB
// is not read".
std::optional<QByteArray> ReadSettingsBytes(const QString& path, const char* what = "settings file");

// One settings file ("Tarvel.ini", "Register.ini", "Setup.ini") under the profile-file rules of
// IniText.h. It holds only the full path: creating it touches no disk, every read reads the file as it
// is now, and every write is on disk when it returns. Not thread-safe; the window's thread uses it.
class IniFile {
public:
    explicit IniFile(QString fullPath);

    const QString& FileName() const { return path_; }

    // The value as read, or the fallback when the file, the section or the key is missing (an empty
    // value is returned as empty). A file that cannot be opened counts as missing; one over
    // kSettingsFileLimit is refused: ReadSettingsBytes' TarvelError.
    QByteArray ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& fallback) const;

    // The value as an integer (see ParseIniInteger), or the fallback when it is missing, empty, not
    // such a number or outside the 32-bit range.
    int ReadInteger(const QByteArray& section, const QByteArray& key, int fallback) const;

    // The value as read, or nothing when the file, the section or the key is missing.
    std::optional<QByteArray> ReadValue(const QByteArray& section, const QByteArray& key) const;

    // Writes the value in place (see SetIniValue), creating the file when it is missing. The new
    // content replaces the file whole through a sibling temporary file, so the file is never torn.
    // Throws TarvelError "Unable to write to <full path>" when the file cannot be read or replaced,
    // and the refusal of ReadSettingsBytes for a file over the limit; the file then stays as it was.
    void WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value);

    struct Entry {
        QByteArray section;
        QByteArray key;
        QByteArray value;
    };
    // Writes every entry, in order, in one replacement of the file: once it returns the file holds
    // them all; when it throws (as WriteString does, or for a name or value SetIniValue refuses) the
    // file holds none of them. A crash meanwhile leaves the old file or the new one, whole.
    void WriteStrings(const QList<Entry>& entries);

private:
    QString path_;
};

} // namespace tarvel
