#include "base/Platform.h"

#include "base/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

#include <cstdlib>
#include <string>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif
#ifdef Q_OS_LINUX
#include <sys/signalfd.h>
#endif

#ifdef Q_OS_WIN
// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <atomic>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#endif

namespace tarvel {

#if defined(Q_OS_LINUX)
// The signals are blocked and read from a signalfd on the event loop. A handler would not do: the
// Firebird client installs its own SIGINT and SIGTERM handlers at the first attachment, which shut the
// engine down and never reach ours. Blocked signals reach no handler at all, and threads started later
// (Firebird's among them) inherit the mask; so call this before the first attachment.
void InstallStopHandler(QObject* context, std::function<void()> onStop)
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0)
        return;
    const int fd = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, fd, onStop] {
        signalfd_siginfo info{};
        [[maybe_unused]] const ssize_t got = ::read(fd, &info, sizeof info);
        notifier->setEnabled(false);
        onStop();
    });
}
#elif defined(Q_OS_UNIX)
namespace {

// The signal handler only writes a byte; the event loop reads it and runs the stop on its own thread.
int stopPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

} // namespace

void InstallStopHandler(QObject* context, std::function<void()> onStop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, stopPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onStop] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(stopPipe[0], &byte, 1);
        notifier->setEnabled(false);
        onStop();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}
#elif defined(Q_OS_WIN)
namespace {
std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD)
{
    stopRequested = true;
    return TRUE;
}
} // namespace

void InstallStopHandler(QObject* context, std::function<void()> onStop)
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, onStop] {
        if (stopRequested.exchange(false)) {
            poll->stop();
            onStop();
        }
    });
    poll->start(100);
}
#else
void InstallStopHandler(QObject*, std::function<void()>) {}
#endif

// Sockets: POSIX and Windows Sockets differ in their handle type, error numbers and a few calls.
namespace {

#ifdef Q_OS_WIN
using NativeSocket = SOCKET;
constexpr NativeSocket kNoSocket = INVALID_SOCKET;
constexpr int kResetError = WSAECONNRESET;
int LastSocketError() { return WSAGetLastError(); }
void CloseSocket(NativeSocket s) { ::closesocket(s); }
using AddressLength = int;
#else
using NativeSocket = int;
constexpr NativeSocket kNoSocket = -1;
constexpr int kResetError = ECONNRESET;
int LastSocketError() { return errno; }
void CloseSocket(NativeSocket s) { ::close(s); }
using AddressLength = socklen_t;
#endif

NativeSocket Native(qintptr descriptor) { return NativeSocket(descriptor); }

// A socket error while the listener opens, as Start reports it.
[[noreturn]] void ThrowListenError(int error)
{
    throw TarvelError("Socket error: " + SocketErrorText(error).toStdString() + " (" + std::to_string(error)
                      + "), on API 'listen'");
}

QByteArray Dotted(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) ? QByteArray(text) : QByteArray();
}

// No SIGPIPE for a write on a broken connection: the caller reads the error instead.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

} // namespace

QByteArray SocketErrorText(int error)
{
#ifdef Q_OS_WIN
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        DWORD(error), 0, text, sizeof text, nullptr);
    return QByteArray(text, int(length)).trimmed();
#else
    return QByteArray(std::strerror(error));
#endif
}

void ListeningSocket::Bind(quint16 port)
{
    Close();
#ifdef Q_OS_LINUX
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
#else
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#endif
    if (s == kNoSocket)
        ThrowListenError(LastSocketError());
    const int on = 1;
#ifdef Q_OS_WIN
    // Windows' SO_REUSEADDR would let a second server take the port; this keeps it ours alone.
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
#else
    // A restart does not wait for the last run's connections to leave TIME_WAIT.
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#ifndef Q_OS_LINUX
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = LastSocketError();
        CloseSocket(s);
        ThrowListenError(error);
    }
    descriptor_ = qintptr(s);
}

void ListeningSocket::Listen()
{
    if (::listen(Native(descriptor_), SOMAXCONN) != 0) {
        const int error = LastSocketError();
        Close();
        ThrowListenError(error);
    }
}

void ListeningSocket::Close()
{
    if (descriptor_ == -1)
        return;
    CloseSocket(Native(descriptor_));
    descriptor_ = -1;
}

void ListeningSocket::CloseDescriptor(qintptr descriptor) { CloseSocket(Native(descriptor)); }

quint16 ListeningSocket::Port() const
{
    sockaddr_in address{};
    AddressLength length = sizeof address;
    if (descriptor_ == -1 || ::getsockname(Native(descriptor_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::optional<ListeningSocket::Accepted> ListeningSocket::Accept(int& error)
{
    error = 0;
    for (;;) {
        sockaddr_in peer{};
        AddressLength length = sizeof peer;
#ifdef Q_OS_LINUX
        const NativeSocket s =
            ::accept4(Native(descriptor_), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
#else
        const NativeSocket s = ::accept(Native(descriptor_), reinterpret_cast<sockaddr*>(&peer), &length);
#endif
        if (s == kNoSocket) {
            const int e = LastSocketError();
#ifdef Q_OS_WIN
            if (e == WSAECONNRESET)
                continue; // gone before it was taken: nothing to serve
            if (e != WSAEWOULDBLOCK)
                error = e;
#else
            if (e == ECONNABORTED || e == EINTR)
                continue;
            if (e != EAGAIN && e != EWOULDBLOCK)
                error = e;
#endif
            return std::nullopt;
        }
#if !defined(Q_OS_WIN) && !defined(Q_OS_LINUX)
        ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
        Accepted accepted;
        accepted.descriptor = qintptr(s);
        accepted.terminalAddress = Dotted(peer);
        sockaddr_in local{};
        length = sizeof local;
        if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0)
            accepted.serverAddress = Dotted(local);
        return accepted;
    }
}

ConnectionHandle::ConnectionHandle(qintptr descriptor)
{
#ifdef Q_OS_WIN
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(Native(descriptor), ::GetCurrentProcessId(), &info) == 0) {
        const SOCKET copy =
            ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, WSA_FLAG_OVERLAPPED);
        if (copy != INVALID_SOCKET)
            descriptor_ = qintptr(copy);
    }
#else
    descriptor_ = ::fcntl(Native(descriptor), F_DUPFD_CLOEXEC, 0);
#if defined(SO_NOSIGPIPE)
    const int on = 1;
    if (descriptor_ != -1)
        ::setsockopt(Native(descriptor_), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
#endif
}

void ConnectionHandle::Close()
{
    if (descriptor_ == -1)
        return;
    CloseSocket(Native(descriptor_));
    descriptor_ = -1;
}

qint64 ConnectionHandle::Send(const QByteArray& bytes, int& error) const
{
    error = 0;
    if (descriptor_ == -1)
        return 0;
#ifdef Q_OS_WIN
    const int sent = ::send(Native(descriptor_), bytes.constData(), int(bytes.size()), kSendFlags);
    if (sent >= 0)
        return sent;
    const int e = LastSocketError();
    if (e != WSAEWOULDBLOCK)
        error = e;
#else
    const ssize_t sent = ::send(Native(descriptor_), bytes.constData(), size_t(bytes.size()), kSendFlags);
    if (sent >= 0)
        return qint64(sent);
    const int e = LastSocketError();
    if (e != EAGAIN && e != EWOULDBLOCK && e != EINTR)
        error = e;
#endif
    return 0;
}

int ConnectionHandle::BrokenError() const
{
    if (descriptor_ == -1)
        return 0;
    // A send of nothing: the connection still takes data after the terminal's orderly close of its
    // own side, and refuses it once a reset has ended it.
    const char nothing = 0;
    if (::send(Native(descriptor_), &nothing, 0, kSendFlags) == 0)
        return 0;
    const int error = LastSocketError();
#ifdef Q_OS_WIN
    return error == WSAESHUTDOWN || error == WSAENOTCONN ? kResetError : error;
#else
    return error == EPIPE || error == ENOTCONN ? kResetError : error;
#endif
}

#ifdef Q_OS_WIN
std::optional<FileIdentity> FileIdentityOf(const QString& path)
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
    return FileIdentity{info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool JournalReads(std::FILE*) { return false; }
bool DisplayAvailable() { return true; }
bool IsSystemProgramFolder(const QString&, const QString&) { return false; }
void MakeGroupWritable(const QString&) {}
QByteArray FileOwnershipText(const QString&) { return {}; }
std::optional<QByteArray> OtherOwnerForRoot(const QString&) { return std::nullopt; }
qint64 OpenFileLimit() { return 0; }
#else
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

bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(':').value(0);
    if (!platform.isEmpty() && platform != "xcb" && platform != "wayland" && platform != "wayland-egl")
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
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

qint64 OpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return qint64(limit.rlim_cur);
}
#endif

} // namespace tarvel
