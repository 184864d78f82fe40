#pragma once

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
// Nothing when no file is at `path` (or it cannot be looked at).
std::optional<FileIdentity> FileIdentityOf(const QString& path);

// Whether systemd's journal reads `stream`: JOURNAL_STREAM names the device and inode of the stream
// it handed the service, and they are this stream's. Then a line may begin with its priority, "<3>"
// an error, "<4>" a warning, "<6>" information, which the journal takes off and files the line by.
// Never on Windows.
bool JournalReads(std::FILE* stream);

} // namespace tarvel
