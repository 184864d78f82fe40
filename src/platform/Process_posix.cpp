#include "platform/Process.h"

#include <QByteArray>
#include <QList>

#include <sys/resource.h>

namespace tarvel {

bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(':').value(0);
    if (!platform.isEmpty() && platform != "xcb" && platform != "wayland" && platform != "wayland-egl")
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

qint64 OpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return qint64(limit.rlim_cur);
}

} // namespace tarvel
