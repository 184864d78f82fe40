#include "data/CallDeadline.h"

#include <utility>

namespace tarvel {

CallDeadline::~CallDeadline()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void CallDeadline::arm(std::chrono::milliseconds limit, std::function<void()> expire)
{
    if (limit <= std::chrono::milliseconds::zero())
        return;
    bool sooner = false;
    {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        due_ = std::chrono::steady_clock::now() + limit;
        expire_ = std::move(expire);
        armed_ = true;
        expired_ = false;
        // Under a fixed limit each call is due later than the one before, and the watchdog, still
        // sleeping until that one's time, finds the new time when it wakes: a wake-up per call would
        // cost every query two thread switches.
        sooner = due_ < sleepsUntil_;
    }
    if (sooner)
        wake_.notify_one();
}

bool CallDeadline::disarm()
{
    // Taken while the action runs: the caller goes on only after it, so the action never meets an
    // object the caller has let go.
    const std::lock_guard lock(mutex_);
    armed_ = false;
    expire_ = nullptr;
    return std::exchange(expired_, false);
}

int CallDeadline::wakeups() const
{
    const std::lock_guard lock(mutex_);
    return wakeups_;
}

void CallDeadline::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!armed_) {
            sleepsUntil_ = std::chrono::steady_clock::time_point::max();
            wake_.wait(lock);
            ++wakeups_;
            continue;
        }
        // A disarm does not wake the watchdog: it wakes at the time it slept for and finds the call
        // ended, or a later one under way.
        sleepsUntil_ = due_;
        wake_.wait_until(lock, sleepsUntil_);
        ++wakeups_;
        if (armed_ && !stopping_ && std::chrono::steady_clock::now() >= due_) {
            armed_ = false;
            expired_ = true;
            std::function<void()> expire = std::exchange(expire_, nullptr);
            expire();
        }
    }
}

} // namespace tarvel
