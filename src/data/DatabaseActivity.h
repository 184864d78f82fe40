#pragma once

#include <QtGlobal>

#include <atomic>

namespace tarvel {

// What the POS database is doing for the scans, told by the event thread around each lookup and read
// at any moment by another thread (the status endpoint's), also while the event thread waits on a call
// that does not come back: when the call now running began, and whether the last one failed.
class DatabaseActivity {
public:
    // The steady clock in milliseconds: never 0, never set back.
    static qint64 MonotonicMsecs();

    void callStarted() { startedAt_.store(MonotonicMsecs(), std::memory_order_relaxed); }
    void callEnded(bool failed)
    {
        failed_.store(failed, std::memory_order_relaxed);
        startedAt_.store(0, std::memory_order_relaxed);
    }
    // FDB_QUERY_TIMEOUT in force, in seconds (0: no limit).
    void setDeadlineSeconds(int seconds) { deadlineSeconds_.store(seconds, std::memory_order_relaxed); }

    // How long the call now running has waited; 0 when none runs.
    qint64 waitingMsecs() const;
    // False while the last call failed, or the one now running is past the query deadline (past the
    // default deadline when there is no limit).
    bool up() const;

    // Marks a call for as long as it lives; a call left by an exception failed.
    class Call {
    public:
        explicit Call(DatabaseActivity* activity) : activity_(activity)
        {
            if (activity_)
                activity_->callStarted();
        }
        ~Call()
        {
            if (activity_)
                activity_->callEnded(!succeeded_);
        }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        void succeeded() { succeeded_ = true; }

    private:
        DatabaseActivity* activity_;
        bool succeeded_ = false;
    };

private:
    std::atomic<qint64> startedAt_{0};
    std::atomic<bool> failed_{false};
    std::atomic<int> deadlineSeconds_{0};
};

} // namespace tarvel
