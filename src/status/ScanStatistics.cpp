#include "status/ScanStatistics.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>

namespace tarvel {

namespace {

qint64 SystemNow() { return QDateTime::currentMSecsSinceEpoch(); }

QDate LocalDay(qint64 msecs) { return QDateTime::fromMSecsSinceEpoch(msecs).date(); }

qint64 LocalMidnightAfter(QDate day) { return QDateTime(day.addDays(1), QTime(0, 0)).toMSecsSinceEpoch(); }

// Two tallies of one code: the counts added up, the span of both, the terminal of the later.
void Merge(NotFoundTally& into, const NotFoundTally& other)
{
    into.count += other.count;
    into.firstSeen = std::min(into.firstSeen, other.firstSeen);
    if (other.lastSeen >= into.lastSeen) {
        into.lastSeen = other.lastSeen;
        into.lastTerminal = other.lastTerminal;
    }
}

} // namespace

ScanStatistics::ScanStatistics(Now now, int queryDeadlineSeconds) : now_(now ? std::move(now) : Now(SystemNow))
{
    startedAt_ = now_();
    today_ = LocalDay(startedAt_);
    nextMidnight_ = LocalMidnightAfter(today_);
    setQueryDeadline(queryDeadlineSeconds);
}

void ScanStatistics::setQueryDeadline(int seconds)
{
    seconds = std::max(seconds, 0);
    if (seconds == queryDeadline_)
        return;
    queryDeadline_ = seconds;
    replyTimes_ = Histogram();
    replyTimes_.bounds = QList<double>(kReplyBuckets.begin(), kReplyBuckets.end());
    if (seconds > 0 && !replyTimes_.bounds.contains(seconds)) {
        replyTimes_.bounds.append(seconds);
        std::sort(replyTimes_.bounds.begin(), replyTimes_.bounds.end());
    }
    replyTimes_.counts = QList<qint64>(replyTimes_.bounds.size() + 1, 0);
    notifyChanged();
}

ScanStatistics::ScanStatistics(const ScanStatistics& other)
    : now_(other.now_),
      queryDeadline_(other.queryDeadline_),
      startedAt_(other.startedAt_),
      runningSince_(other.runningSince_),
      today_(other.today_),
      nextMidnight_(other.nextMidnight_),
      total_(other.total_),
      todayCounts_(other.todayCounts_),
      todayHours_(other.todayHours_),
      hour_(other.hour_),
      hourStart_(other.hourStart_),
      nextHour_(other.nextHour_),
      replyTimes_(other.replyTimes_),
      terminals_(other.terminals_),
      connectedTerminals_(other.connectedTerminals_),
      days_(other.days_),
      unsaved_(other.unsaved_)
{
}

ScanStatistics::DayTallies::DayTallies(const DayTallies& other) : recency(other.recency)
{
    index.reserve(recency.size());
    for (auto it = recency.begin(); it != recency.end(); ++it)
        index.insert(it->code, it);
}

ScanStatistics::DayTallies& ScanStatistics::writableDay(QDate day)
{
    std::shared_ptr<DayTallies>& tallies = days_[day];
    if (!tallies)
        tallies = std::make_shared<DayTallies>();
    else if (tallies.use_count() > 1)
        tallies = std::make_shared<DayTallies>(*tallies);
    // A copy on another thread that let go of the day did its last read before its release: seen
    // alone, the day is this side's to change.
    std::atomic_thread_fence(std::memory_order_acquire);
    return *tallies;
}

void ScanStatistics::rollOver(qint64 now)
{
    // The local hour is looked up once an hour, not at every count.
    if (now < hourStart_ || now >= nextHour_) {
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(now);
        hour_ = moment.time().hour();
        hourStart_ = QDateTime(moment.date(), QTime(hour_, 0)).toMSecsSinceEpoch();
        nextHour_ = hour_ == 23 ? LocalMidnightAfter(moment.date())
                                : QDateTime(moment.date(), QTime(hour_ + 1, 0)).toMSecsSinceEpoch();
    }
    if (now < nextMidnight_)
        return;
    today_ = LocalDay(now);
    nextMidnight_ = LocalMidnightAfter(today_);
    todayCounts_ = Counts();
    todayHours_ = {};
    // Days gone out of the window leave memory; the file drops them at its next write.
    const QDate oldest = oldestDayKept();
    while (!days_.empty() && days_.begin()->first < oldest)
        days_.erase(days_.begin());
    while (!unsaved_.empty() && unsaved_.begin()->first < oldest)
        unsaved_.erase(unsaved_.begin());
}

const ScanStatistics::Counts& ScanStatistics::countsToday()
{
    rollOver(now_());
    return todayCounts_;
}

const std::array<ScanStatistics::Counts, 24>& ScanStatistics::hoursToday()
{
    rollOver(now_());
    return todayHours_;
}

ScanStatistics::Terminal& ScanStatistics::terminal(const QByteArray& address, qint64 now)
{
    auto found = terminals_.find(address);
    if (found != terminals_.end())
        return *found;
    if (terminals_.size() >= kMaxTerminals) {
        // The terminal gone longest makes room; while all are connected, the list grows with them.
        auto oldest = terminals_.end();
        for (auto it = terminals_.begin(); it != terminals_.end(); ++it) {
            if (it->connections == 0 && (oldest == terminals_.end() || it->disconnectedAt < oldest->disconnectedAt))
                oldest = it;
        }
        if (oldest != terminals_.end())
            terminals_.erase(oldest);
    }
    Terminal& added = terminals_[address];
    added.address = address;
    added.disconnectedAt = now;
    return added;
}

void ScanStatistics::terminalConnected(const QByteArray& terminalAddress)
{
    const qint64 now = now_();
    Terminal& t = terminal(terminalAddress, now);
    if (t.connections++ == 0) {
        t.connectedSince = now;
        ++connectedTerminals_;
    }
    notifyChanged();
}

void ScanStatistics::terminalDisconnected(const QByteArray& terminalAddress)
{
    auto found = terminals_.find(terminalAddress);
    if (found == terminals_.end() || found->connections == 0)
        return;
    if (--found->connections == 0) {
        found->disconnectedAt = now_();
        --connectedTerminals_;
    }
    notifyChanged();
}

void ScanStatistics::scanAnswered(const QByteArray& terminalAddress, ScanOutcome outcome, const QByteArray& code,
                                  qint64 replyNanoseconds)
{
    const qint64 now = now_();
    rollOver(now);
    Terminal& t = terminal(terminalAddress, now);
    ++t.scans;
    t.lastScan = now;
    switch (outcome) {
    case ScanOutcome::Found:
        add(&Counts::found);
        break;
    case ScanOutcome::NotFound:
        add(&Counts::notFound);
        ++t.notFound;
        countNotFound(code, terminalAddress, now);
        break;
    case ScanOutcome::Unregistered:
        add(&Counts::unregistered);
        break;
    }
    const double seconds = static_cast<double>(replyNanoseconds) / 1e9;
    qsizetype bucket = 0;
    while (bucket < replyTimes_.bounds.size() && seconds > replyTimes_.bounds[bucket])
        ++bucket;
    ++replyTimes_.counts[bucket];
    ++replyTimes_.count;
    replyTimes_.sumNanoseconds += replyNanoseconds;
    notifyChanged();
}

void ScanStatistics::countNotFound(const QByteArray& code, const QByteArray& terminalAddress, qint64 now)
{
    DayTallies& day = writableDay(today_);
    Unsaved& unsaved = unsaved_[today_];
    const QByteArray key = code.left(kMaxCodeBytes);
    auto found = day.index.find(key);
    if (found != day.index.end()) {
        auto node = *found;
        ++node->count;
        node->lastSeen = now;
        node->lastTerminal = terminalAddress;
        day.recency.splice(day.recency.end(), day.recency, node);
    } else {
        append(day, unsaved, {key, 1, now, now, terminalAddress});
        unsaved.removed.remove(key);
    }
    unsaved.changed.insert(key);
}

void ScanStatistics::append(DayTallies& day, Unsaved& unsaved, const NotFoundTally& tally)
{
    if (day.index.size() >= kMaxCodesPerDay)
        evictLeastRecent(day, unsaved);
    day.recency.push_back(tally);
    day.index.insert(tally.code, std::prev(day.recency.end()));
}

void ScanStatistics::add(qint64 Counts::*count)
{
    ++(total_.*count);
    ++(todayCounts_.*count);
    ++(todayHours_[hour_].*count);
}

void ScanStatistics::evictLeastRecent(DayTallies& day, Unsaved& unsaved)
{
    // The file is told to drop it at the next write.
    const QByteArray& leaving = day.recency.front().code;
    unsaved.changed.remove(leaving);
    unsaved.removed.insert(leaving);
    day.index.remove(leaving);
    day.recency.pop_front();
}

void ScanStatistics::scanDropped(const QByteArray& terminalAddress)
{
    countUnanswered(terminalAddress, &Counts::dropped);
}

void ScanStatistics::scanFailed(const QByteArray& terminalAddress, bool databaseError)
{
    countUnanswered(terminalAddress, &Counts::failed);
    if (databaseError)
        add(&Counts::databaseErrors);
}

void ScanStatistics::countUnanswered(const QByteArray& terminalAddress, qint64 Counts::*result)
{
    const qint64 now = now_();
    rollOver(now);
    Terminal& t = terminal(terminalAddress, now);
    ++t.scans;
    t.lastScan = now;
    add(result);
    notifyChanged();
}

void ScanStatistics::reattached()
{
    rollOver(now_());
    add(&Counts::reattaches);
    notifyChanged();
}

void ScanStatistics::serviceStarted()
{
    runningSince_ = now_();
    notifyChanged();
}

void ScanStatistics::serviceStopped()
{
    runningSince_ = 0;
    notifyChanged();
}

QList<ScanStatistics::Terminal> ScanStatistics::terminals() const
{
    QList<Terminal> list(terminals_.begin(), terminals_.end());
    std::sort(list.begin(), list.end(), [](const Terminal& a, const Terminal& b) { return a.address < b.address; });
    return list;
}

QList<NotFoundTally> ScanStatistics::notFound(int days, int limit)
{
    rollOver(now_());
    const QDate first = today_.addDays(1 - std::clamp(days, 1, kDaysKept));
    QHash<QByteArray, NotFoundTally> merged;
    for (auto day = days_.lower_bound(first); day != days_.end(); ++day) {
        for (const NotFoundTally& tally : day->second->recency) {
            auto found = merged.find(tally.code);
            if (found == merged.end())
                merged.insert(tally.code, tally);
            else
                Merge(*found, tally);
        }
    }
    QList<NotFoundTally> list(merged.begin(), merged.end());
    const auto mostOften = [](const NotFoundTally& a, const NotFoundTally& b) {
        if (a.count != b.count)
            return a.count > b.count;
        if (a.lastSeen != b.lastSeen)
            return a.lastSeen > b.lastSeen;
        return a.code < b.code;
    };
    if (limit >= 0 && limit < list.size()) {
        std::partial_sort(list.begin(), list.begin() + limit, list.end(), mostOften);
        list.resize(limit);
    } else {
        std::sort(list.begin(), list.end(), mostOften);
    }
    return list;
}

int ScanStatistics::codesNotFoundToday()
{
    rollOver(now_());
    const auto day = days_.find(today_);
    return day == days_.end() ? 0 : static_cast<int>(day->second->index.size());
}

void ScanStatistics::loadDays(const QList<NotFoundDay>& days)
{
    rollOver(now_());
    const QDate oldest = oldestDayKept();
    for (const NotFoundDay& loaded : days) {
        if (loaded.day < oldest || loaded.day > today_)
            continue;
        DayTallies& day = writableDay(loaded.day);
        Unsaved& unsaved = unsaved_[loaded.day];
        // Least recently seen first, so that the first to fall out today are the file's oldest.
        QList<NotFoundTally> tallies = loaded.tallies;
        std::sort(tallies.begin(), tallies.end(),
                  [](const NotFoundTally& a, const NotFoundTally& b) { return a.lastSeen < b.lastSeen; });
        for (NotFoundTally tally : tallies) {
            tally.code = tally.code.left(kMaxCodeBytes);
            auto found = day.index.find(tally.code);
            if (found != day.index.end()) {
                if (tally.count > (*found)->count)
                    **found = tally;
                continue;
            }
            append(day, unsaved, tally);
        }
    }
    notifyChanged();
}

QList<NotFoundChanges> ScanStatistics::unsavedChanges() const
{
    QList<NotFoundChanges> changes;
    for (const auto& [date, unsaved] : unsaved_) {
        const auto day = days_.find(date);
        if ((unsaved.changed.isEmpty() && unsaved.removed.isEmpty()) || day == days_.end())
            continue;
        NotFoundChanges change{date, {}, QList<QByteArray>(unsaved.removed.begin(), unsaved.removed.end())};
        for (const QByteArray& code : unsaved.changed)
            change.changed.append(**day->second->index.find(code));
        changes.append(change);
    }
    return changes;
}

bool ScanStatistics::hasUnsavedChanges() const { return !unsavedChanges().isEmpty(); }

void ScanStatistics::markSaved() { unsaved_.clear(); }

} // namespace tarvel
