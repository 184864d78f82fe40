#include "platform/Files.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/stat.h>

#include <cstdlib>

namespace tarvel {

std::optional<FileIdentity> FileIdentityOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

bool JournalReads(std::FILE* stream)
{
    const char* named = std::getenv("JOURNAL_STREAM");
    if (!named || !stream)
        return false;
    // "device:inode", both in decimal.
    const QList<QByteArray> parts = QByteArray(named).split(':');
    bool device = false;
    bool inode = false;
    const quint64 deviceNumber = parts.value(0).toULongLong(&device);
    const quint64 inodeNumber = parts.value(1).toULongLong(&inode);
    struct stat info {};
    if (parts.size() != 2 || !device || !inode || ::fstat(::fileno(stream), &info) != 0)
        return false;
    return quint64(info.st_dev) == deviceNumber && quint64(info.st_ino) == inodeNumber;
}

} // namespace tarvel
