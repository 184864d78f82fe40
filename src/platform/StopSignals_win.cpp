#include "platform/StopSignals.h"

#include <QObject>
#include <QTimer>

#include <windows.h>

#include <atomic>
#include <utility>

namespace tarvel {

namespace {
std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD)
{
    stopRequested = true;
    return TRUE;
}
} // namespace

// The console handler runs on a thread of its own; the event loop polls the flag it sets.
void InstallStopHandler(QObject* context, std::function<void()> onStop)
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, onStop = std::move(onStop)] {
        if (stopRequested.exchange(false)) {
            poll->stop();
            onStop();
        }
    });
    poll->start(100);
}

} // namespace tarvel
