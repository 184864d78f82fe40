#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <functional>
#include <optional>

class QObject;
class QString;

namespace tarvel {

// The one place for what differs between the platforms the server runs on.

// Calls `onStop` on the event thread when the process is asked to stop (SIGINT, SIGTERM, or SIGHUP: the
// ssh session or terminal of a headless run closed; Ctrl+C or a console close on Windows). `context` owns the notifier; call once per process, before the first
// database attachment (see the Linux notes in the source).
void InstallStopHandler(QObject* context, std::function<void()> onStop);

// The terminal listener's socket: IPv4 on all interfaces, non-blocking, with the longest queue of
// pending connections the platform allows, so a store's terminals reconnecting together are all
// taken at once. Event thread only.
class ListeningSocket {
public:
    ListeningSocket() = default;
    ~ListeningSocket() { Close(); }
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Binds all IPv4 interfaces on `port` (0: the platform chooses); then Listen starts the queue.
    // Both throw TarvelError "Socket error: <text> (<number>), on API 'listen'" and leave it closed.
    void Bind(quint16 port);
    void Listen();
    // Does nothing when closed.
    void Close();
    bool IsOpen() const { return descriptor_ != -1; }
    qintptr Descriptor() const { return descriptor_; }
    quint16 Port() const;

    // A connection as accept handed it over: its own descriptor and both ends' addresses in dotted
    // form, taken at accept, so that a terminal that resets at once is still named.
    struct Accepted {
        qintptr descriptor = -1;
        QByteArray terminalAddress;
        QByteArray serverAddress;
    };
    // The next waiting connection; nothing when none waits, or when the platform refuses, with its
    // error number in `error` (0 when none waits).
    std::optional<Accepted> Accept(int& error);
    // Closes an accepted descriptor that nothing has taken over.
    static void CloseDescriptor(qintptr descriptor);

private:
    qintptr descriptor_ = -1;
};

// A second handle on a terminal connection, kept after the socket's own handle is closed, to tell
// how the connection ended: the platform reports a reset and an orderly close alike as an end of
// data. Closing this handle is what finally releases the connection. Event thread only.
class ConnectionHandle {
public:
    explicit ConnectionHandle(qintptr descriptor);
    ~ConnectionHandle() { Close(); }
    ConnectionHandle(const ConnectionHandle&) = delete;
    ConnectionHandle& operator=(const ConnectionHandle&) = delete;

    void Close();
    // 0 while the connection could still take data (the terminal closed only its own side, in
    // order); otherwise the platform's error number for what broke it, a reset as ECONNRESET
    // (WSAECONNRESET on Windows).
    int BrokenError() const;
    // Hands the bytes to the platform in one call and gives how many it took: all, some, or none when
    // its buffer is full. A connection that cannot take data gives 0 with the platform's error number
    // in `error` (0 otherwise).
    qint64 Send(const QByteArray& bytes, int& error) const;

private:
    qintptr descriptor_ = -1;
};

// The platform's text for a socket error number.
QByteArray SocketErrorText(int error);

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

// Whether the window can have a display: on Unix a Qt platform chosen in QT_QPA_PLATFORM that needs none
// (offscreen, minimal, vnc...), else DISPLAY or WAYLAND_DISPLAY set. Always on Windows.
bool DisplayAvailable();

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

// How many descriptors this process may have open at once; 0 when the platform sets no such limit.
qint64 OpenFileLimit();

} // namespace tarvel
