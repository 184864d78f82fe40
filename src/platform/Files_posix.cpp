#include "platform/Files.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tarvel {

std::optional<FileStamp> FileStampOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp{FileIdentity{quint64(info.st_dev), quint64(info.st_ino)}, qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
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

bool IsSystemProgramFolder(const QString& folder, const QString& installedBinFolder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString& system : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"), QStringLiteral("/bin"),
                                  QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), installedBinFolder}) {
        if (!system.isEmpty() && QFileInfo(system).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}

void MakeGroupWritable(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return;
    mode_t mode = info.st_mode | S_IRGRP | S_IWGRP;
    if (S_ISDIR(info.st_mode))
        mode |= S_IXGRP;
    if (mode != info.st_mode)
        ::chmod(name.constData(), mode & 07777);
}

namespace {
QByteArray UserName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user ? QByteArray(user->pw_name) : QByteArray::number(quint64(uid));
}
QByteArray GroupName(gid_t gid)
{
    const group* g = ::getgrgid(gid);
    return g ? QByteArray(g->gr_name) : QByteArray::number(quint64(gid));
}
} // namespace

QByteArray FileOwnershipText(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return "owner " + UserName(info.st_uid) + ", group " + GroupName(info.st_gid) + ", mode "
         + QByteArray::number(info.st_mode & 07777, 8).rightJustified(4, '0');
}

std::optional<QByteArray> OtherOwnerForRoot(const QString& path)
{
    struct stat info {};
    if (::geteuid() != 0 || ::stat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid == 0)
        return std::nullopt;
    return UserName(info.st_uid);
}

} // namespace tarvel
