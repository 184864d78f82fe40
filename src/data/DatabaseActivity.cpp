#include "data/DatabaseActivity.h"

#include "base/DatabaseAccess.h"

#include <chrono>

namespace tarvel {

qint64 DatabaseActivity::MonotonicMsecs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() + 1;
}

qint64 DatabaseActivity::waitingMsecs() const
{
    const qint64 started = startedAt_.load(std::memory_order_relaxed);
    return started == 0 ? 0 : qMax<qint64>(0, MonotonicMsecs() - started);
}

bool DatabaseActivity::up() const
{
    if (failed_.load(std::memory_order_relaxed))
        return false;
    const int deadline = deadlineSeconds_.load(std::memory_order_relaxed);
    return waitingMsecs() <= qint64(deadline > 0 ? deadline : kDefaultQueryTimeout) * 1000;
}

} // namespace tarvel
