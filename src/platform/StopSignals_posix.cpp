#include "platform/StopSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/signalfd.h>
#endif

namespace tarvel {

#ifdef Q_OS_LINUX
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
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, fd, onStop = std::move(onStop)] {
        signalfd_siginfo info{};
        [[maybe_unused]] const ssize_t got = ::read(fd, &info, sizeof info);
        notifier->setEnabled(false);
        onStop();
    });
}
#else
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
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onStop = std::move(onStop)] {
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
#endif

} // namespace tarvel
