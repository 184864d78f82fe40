#include "platform/Files.h"

#include <QString>

#include <windows.h>

namespace tarvel {

std::optional<FileStamp> FileStampOf(const QString& path)
{
    // Opened for its attributes alone, sharing everything, so that no writer is held up.
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL read = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!read)
        return std::nullopt;
    const FileIdentity identity{info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    const qint64 size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // In units of 100 ns.
    const qint64 written =
        qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime) * 100;
    return FileStamp{identity, size, written};
}

// The journal is systemd's; a Windows service has none.
bool JournalReads(std::FILE*) { return false; }

// No system program folders, group modes or owners to look at: files get the folder's own rights.
bool IsSystemProgramFolder(const QString&, const QString&) { return false; }
void MakeGroupWritable(const QString&) {}
QByteArray FileOwnershipText(const QString&) { return {}; }
std::optional<QByteArray> OtherOwnerForRoot(const QString&) { return std::nullopt; }

} // namespace tarvel
