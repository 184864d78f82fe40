#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvel {

// A watchdog for calls that may never come back, such as a call to a database server that accepts but
// does not answer. The caller's thread still makes the call and waits for it; only when the call runs
// past its limit does the watchdog's own thread run the expiry action, once (for the engine: abort
// the attachment's connection, which makes the waiting call fail at once). The thread starts with the
// first watched call and ends with the object; it never waits on anything but the caller's arm and
// disarm. It is woken only for a call due sooner than the time it sleeps until, so calls far shorter
// than their limit leave it asleep.
class CallDeadline {
public:
    CallDeadline() = default;
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

    // Watches from now for `limit` (zero or less: nothing is watched). `expire` runs on the watchdog
    // thread when the limit passes before disarm.
    void arm(std::chrono::milliseconds limit, std::function<void()> expire);
    // Ends the watch and says whether it expired. Once it returns the action has run to its end or
    // will never run. Does nothing, and returns false, when nothing is watched.
    bool disarm();
    // How often the watchdog thread has woken so far, for the tests.
    int wakeups() const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> expire_;
    std::chrono::steady_clock::time_point due_;
    // The time the watchdog sleeps until; the end of time while nothing is watched.
    std::chrono::steady_clock::time_point sleepsUntil_ = std::chrono::steady_clock::time_point::max();
    int wakeups_ = 0;
    bool armed_ = false;
    bool expired_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tarvel
