#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <optional>

class QString;

namespace tarvel {

// What tells one file from another whatever its name: the device it lies on and its number there
// (the inode; on Windows the volume's serial number and the file index). A file written anew and
// renamed over the old one has another identity; one rewritten in place keeps its own.
struct FileIdentity {
    quint64 device = 0;
    quint64 file = 0;
    bool operator==(const FileIdentity&) const = default;
};
// A file's identity with its size and the time it was last written (as finely as the system keeps
// it): a writer in place, or another file under the name, changes one of them. One look at the file.
struct FileStamp {
    FileIdentity identity;
    qint64 size = 0;
    qint64 writtenNsecs = 0;
    bool operator==(const FileStamp&) const = default;
};
// Nothing when no file is at `path` (or it cannot be looked at).
std::optional<FileStamp> FileStampOf(const QString& path);
inline std::optional<FileIdentity> FileIdentityOf(const QString& path)
{
    const std::optional<FileStamp> stamp = FileStampOf(path);
    return stamp ? std::optional<FileIdentity>(stamp->identity) : std::nullopt;
}

// Whether systemd's journal reads `stream`: JOURNAL_STREAM names the device and inode of the stream
// it handed the service, and they are this stream's. Then a line may begin with its priority, "<3>"
// an error, "<4>" a warning, "<6>" information, which the journal takes off and files the line by.
// Never on Windows.
bool JournalReads(std::FILE* stream);

// Whether `folder` is one of the system's folders for programs (/usr/bin, /usr/local/bin, the build's
// install folder `installedBinFolder`), links resolved; never on Windows.
bool IsSystemProgramFolder(const QString& folder, const QString& installedBinFolder);

// Lets the group read and write a file the program made in its folder (and search a folder), whatever the
// umask, so that the operators of the service's group can change what the service made. Owner's bits kept.
void MakeGroupWritable(const QString& path);

// "owner tarvel, group tarvel, mode 0644" for a refused write; empty where it cannot be looked at.
QByteArray FileOwnershipText(const QString& path);

// The name (else the number) of the user who owns `path`, when this process runs as root and another user
// owns it: what root made there would be root's own. Nothing otherwise, and never on Windows.
std::optional<QByteArray> OtherOwnerForRoot(const QString& path);

} // namespace tarvel
