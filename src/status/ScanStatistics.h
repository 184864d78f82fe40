#pragma once

#include "base/DatabaseAccess.h"
#include "status/NotFoundTally.h"
#include "terminal/ScanObserver.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>

#include <array>
#include <functional>
#include <list>
#include <map>
#include <memory>

namespace tarvel {

// The service's counters and tallies, kept as the listener reports (ScanObserver): scans by outcome,
// the reply-time histogram, the terminals, database errors and re-attaches, and the codes the lookups
// did not find, per local day for the last kDaysKept days. Each report costs a few hash and counter
// updates. Memory is bounded: at most kMaxCodesPerDay codes a day (the least recently seen fall out),
// codes cut to kMaxCodeBytes, at most kMaxTerminals terminals remembered. No Qt widgets, no I/O: the
// service loads and saves the tallies through StatsFile, the window and the status endpoint read here.
// Event thread only; a copy is cheap (the days before today are shared until one of the two changes
// them, today's is copied at its first change) and may be read on another thread, which is how the
// status endpoint's thread reads them (StatusSnapshot).
class ScanStatistics : public ScanObserver {
public:
    // The present moment in milliseconds since the epoch; tests set it. A copy read on another thread
    // calls it there.
    using Now = std::function<qint64()>;

    static constexpr int kMaxCodesPerDay = 10000;
    static constexpr int kDaysKept = 30;
    static constexpr int kMaxCodeBytes = 64;
    static constexpr int kMaxTerminals = 256;
    // The fixed upper bounds of the reply-time histogram's buckets, in seconds. The query deadline
    // (FDB_QUERY_TIMEOUT) is a bound of its own beside them; +Inf follows the last.
    static constexpr std::array<double, 12> kReplyBuckets{0.0005, 0.001, 0.002, 0.005, 0.01, 0.025,
                                                          0.05,   0.1,   0.25,  0.5,   1.0,  2.5};

    // `queryDeadlineSeconds` as setQueryDeadline takes it.
    explicit ScanStatistics(Now now = {}, int queryDeadlineSeconds = kDefaultQueryTimeout);
    // A copy takes the figures and the unsaved changes, never the change callback.
    ScanStatistics(const ScanStatistics& other);
    ScanStatistics& operator=(const ScanStatistics&) = delete;

    // Runs after each change of the figures (a report, a re-attach, a start or stop, a load), on the
    // event thread; none while unset.
    void setChanged(std::function<void()> changed) { changed_ = std::move(changed); }
    // The seconds a step on the POS database may take (0: no limit): the histogram gets a bucket there,
    // so that a scan that waited on the database up to its deadline is told from one beyond it. A
    // deadline other than the histogram's starts the histogram afresh (its bounds are new).
    void setQueryDeadline(int seconds);

    void terminalConnected(const QByteArray& terminalAddress) override;
    void terminalDisconnected(const QByteArray& terminalAddress) override;
    void scanAnswered(const QByteArray& terminalAddress, ScanOutcome outcome, const QByteArray& code,
                      qint64 replyNanoseconds) override;
    void scanDropped(const QByteArray& terminalAddress) override;
    void scanFailed(const QByteArray& terminalAddress, bool databaseError) override;
    // A lost attachment to the POS database was made afresh.
    void reattached();
    // The service's Start succeeded, or it stopped.
    void serviceStarted();
    void serviceStopped();

    struct Counts {
        qint64 found = 0;
        qint64 notFound = 0;
        qint64 unregistered = 0;
        qint64 dropped = 0; // the reply was ready, but the terminal had too many unread
        qint64 failed = 0;
        qint64 databaseErrors = 0;
        qint64 reattaches = 0;
        qint64 scans() const { return found + notFound + unregistered + dropped + failed; }
    };
    // Since the program started, and since local midnight (or the program's start, when later).
    const Counts& total() const { return total_; }
    const Counts& countsToday();
    // Today's counts hour by hour of the local time (index 0: from midnight to 01:00); the hours before
    // the program started and those to come are empty.
    const std::array<Counts, 24>& hoursToday();

    struct Histogram {
        QList<double> bounds; // the buckets' upper bounds in seconds, ascending; +Inf follows the last
        QList<qint64> counts; // per bucket, one more than bounds (the last is +Inf), not cumulative
        qint64 count = 0;
        qint64 sumNanoseconds = 0;
    };
    const Histogram& replyTimes() const { return replyTimes_; }

    struct Terminal {
        QByteArray address;
        int connections = 0; // open now
        qint64 connectedSince = 0; // while connected: when its oldest open connection came
        qint64 disconnectedAt = 0; // while not connected: when its last connection went
        qint64 lastScan = 0; // 0: none since the program started
        qint64 scans = 0;
        qint64 notFound = 0;
    };
    // Every terminal seen since the program started (within kMaxTerminals), by address.
    QList<Terminal> terminals() const;
    int terminalsConnected() const { return connectedTerminals_; }

    qint64 now() const { return now_(); }
    qint64 startedAt() const { return startedAt_; }
    qint64 runningSince() const { return runningSince_; } // 0 while stopped
    QDate day() const { return today_; } // the local day the counts of today are of

    // The not-found tallies of the last `days` days, today included, one per code (counts added up,
    // the earliest first time, the latest last time and its terminal), most often first.
    QList<NotFoundTally> notFound(int days, int limit = -1);
    // How many distinct codes today's tally holds.
    int codesNotFoundToday();

    // Takes in the tallies read from the statistics file; days outside the last kDaysKept are passed
    // over, and a day already held keeps the larger count of a code.
    void loadDays(const QList<NotFoundDay>& days);
    // What changed since the last markSaved, day by day, and the oldest day still kept.
    QList<NotFoundChanges> unsavedChanges() const;
    bool hasUnsavedChanges() const;
    void markSaved();
    QDate oldestDayKept() const { return today_.addDays(1 - kDaysKept); }

private:
    struct DayTallies {
        DayTallies() = default;
        // The index is made afresh: it points into the copy's own list.
        DayTallies(const DayTallies& other);
        DayTallies& operator=(const DayTallies&) = delete;
        std::list<NotFoundTally> recency; // least recently seen first
        QHash<QByteArray, std::list<NotFoundTally>::iterator> index;
    };
    // What the file has not been told yet, of one day.
    struct Unsaved {
        QSet<QByteArray> changed;
        QSet<QByteArray> removed;
    };
    // The day's tallies, for a change: made when missing, copied first when a copy of the statistics
    // shares them.
    DayTallies& writableDay(QDate day);
    void rollOver(qint64 now);
    void notifyChanged()
    {
        if (changed_)
            changed_();
    }
    void evictLeastRecent(DayTallies& day, Unsaved& unsaved);
    // Adds a code the day does not hold yet as its most recent, making room first when the day is full.
    void append(DayTallies& day, Unsaved& unsaved, const NotFoundTally& tally);
    // One more in the counts since the start and in today's.
    void add(qint64 Counts::*count);
    // A scan of the terminal that got no reply, counted under `result`.
    void countUnanswered(const QByteArray& terminalAddress, qint64 Counts::*result);
    void countNotFound(const QByteArray& code, const QByteArray& terminalAddress, qint64 now);
    Terminal& terminal(const QByteArray& address, qint64 now);

    Now now_;
    int queryDeadline_ = -1;
    qint64 startedAt_ = 0;
    qint64 runningSince_ = 0;
    QDate today_;
    qint64 nextMidnight_ = 0;
    Counts total_;
    Counts todayCounts_;
    std::array<Counts, 24> todayHours_{};
    int hour_ = 0; // the local hour of the last count, from hourStart_ to nextHour_
    qint64 hourStart_ = 0;
    qint64 nextHour_ = 0;
    Histogram replyTimes_;
    QHash<QByteArray, Terminal> terminals_;
    int connectedTerminals_ = 0;
    // Shared with the copies until one side changes a day (writableDay); never changed while shared.
    std::map<QDate, std::shared_ptr<DayTallies>> days_;
    std::map<QDate, Unsaved> unsaved_;
    std::function<void()> changed_;
};

} // namespace tarvel
