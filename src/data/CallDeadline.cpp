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
    {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        due_ = std::chrono::steady_clock::now() + limit;
        expire_ = std::move(expire);
        armed_ = true;
        expired_ = false;
    }
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

void CallDeadline::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!armed_) {
            wake_.wait(lock);
            continue;
        }
        wake_.wait_until(lock, due_);
        if (armed_ && !stopping_ && std::chrono::steady_clock::now() >= due_) {
            armed_ = false;
            expired_ = true;
            std::function<void()> expire = std::exchange(expire_, nullptr);
            expire();
        }
    }
}

} // namespace tarvel
