// The statistics' bounds and days: the not-found tally of a day keeps its most recent codes, the day
// rolls over at local midnight, tallies read back from the file merge, and only what changed is handed
// to the next write.

#include "status/ScanStatistics.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <algorithm>

using namespace tarvel;

namespace {

qint64 At(QDate day, QTime time) { return QDateTime(day, time).toMSecsSinceEpoch(); }

const QDate Day(2026, 3, 14);

class ScanStatisticsTest : public ::testing::Test {
protected:
    qint64 now = At(Day, QTime(9, 0));
    ScanStatistics statistics{[this] { return now; }};

    void NotFound(const QByteArray& code, const QByteArray& terminal = "10.0.0.5")
    {
        statistics.scanAnswered(terminal, ScanOutcome::NotFound, code, 1'500'000);
    }
};

} // namespace

TEST_F(ScanStatisticsTest, ADayKeepsItsTenThousandMostRecentCodesAndCutsLongOnes)
{
    for (int i = 0; i < ScanStatistics::kMaxCodesPerDay; ++i)
        NotFound(QByteArray::number(i));
    // Code 0 seen again is the most recent: code 1 is the one that falls out for the next new code.
    NotFound("0");
    statistics.markSaved();
    NotFound("new");
    const QList<NotFoundTally> today = statistics.notFound(1);
    ASSERT_EQ(today.size(), ScanStatistics::kMaxCodesPerDay);
    EXPECT_EQ(today[0].code, "0");
    EXPECT_EQ(today[0].count, 2);
    EXPECT_TRUE(std::none_of(today.begin(), today.end(), [](const NotFoundTally& t) { return t.code == "1"; }));
    EXPECT_EQ(statistics.codesNotFoundToday(), ScanStatistics::kMaxCodesPerDay);

    // The file is told to drop the code that fell out and to keep the new one.
    const QList<NotFoundChanges> changes = statistics.unsavedChanges();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].day, Day);
    EXPECT_EQ(changes[0].removed, QList<QByteArray>{"1"});
    ASSERT_EQ(changes[0].changed.size(), 1);
    EXPECT_EQ(changes[0].changed[0].code, "new");
    statistics.markSaved();
    EXPECT_FALSE(statistics.hasUnsavedChanges());

    for (int i = 0; i < 3; ++i)
        NotFound(QByteArray(5000, '7'));
    EXPECT_EQ(statistics.notFound(1, 1)[0].code, QByteArray(ScanStatistics::kMaxCodeBytes, '7'));
    EXPECT_EQ(statistics.total().notFound, ScanStatistics::kMaxCodesPerDay + 5);
}

TEST_F(ScanStatisticsTest, MidnightStartsANewDayAndThirtyDaysAreKept)
{
    statistics.scanAnswered("10.0.0.5", ScanOutcome::Found, "A1", 900'000);
    NotFound("111");
    statistics.scanFailed("10.0.0.5", true);
    EXPECT_EQ(statistics.countsToday().scans(), 3);
    EXPECT_EQ(statistics.countsToday().databaseErrors, 1);

    now = At(Day.addDays(1), QTime(0, 0, 1));
    EXPECT_EQ(statistics.countsToday().scans(), 0);
    EXPECT_EQ(statistics.total().scans(), 3);
    EXPECT_EQ(statistics.day(), Day.addDays(1));
    EXPECT_TRUE(statistics.notFound(1).isEmpty());
    now += 60'000;
    NotFound("111", "10.0.0.6");
    const QList<NotFoundTally> two = statistics.notFound(2);
    ASSERT_EQ(two.size(), 1);
    EXPECT_EQ(two[0].count, 2);
    EXPECT_EQ(two[0].firstSeen, At(Day, QTime(9, 0)));
    EXPECT_EQ(two[0].lastSeen, now);
    EXPECT_EQ(two[0].lastTerminal, "10.0.0.6");

    // Thirty days on, the first day is out of memory and the file is told to drop it.
    now = At(Day.addDays(30), QTime(8, 0));
    EXPECT_EQ(statistics.notFound(30)[0].count, 1);
    EXPECT_EQ(statistics.oldestDayKept(), Day.addDays(1));

    // The histogram puts 0.9 ms in the 1 ms bucket and 1.5 ms in the 2 ms bucket.
    const ScanStatistics::Histogram& h = statistics.replyTimes();
    EXPECT_EQ(h.count, 3);
    EXPECT_EQ(h.counts[1], 1);
    EXPECT_EQ(h.counts[2], 2);
    EXPECT_EQ(h.sumNanoseconds, 900'000 + 2 * 1'500'000);
}

TEST_F(ScanStatisticsTest, TalliesReadBackMergeWithTodaysAndOldDaysArePassedOver)
{
    NotFound("222");
    statistics.loadDays(
        {{Day.addDays(-40), {{"old", 9, 1, 2, "10.0.0.1"}}},
         {Day.addDays(-1),
          {{"222", 4, At(Day.addDays(-1), QTime(8, 0)), At(Day.addDays(-1), QTime(18, 0)), "10.0.0.2"}}},
         {Day, {{"333", 3, At(Day, QTime(7, 0)), At(Day, QTime(8, 0)), "10.0.0.3"}}}});
    const QList<NotFoundTally> month = statistics.notFound(30);
    ASSERT_EQ(month.size(), 2);
    EXPECT_EQ(month[0].code, "222");
    EXPECT_EQ(month[0].count, 5);
    EXPECT_EQ(month[0].lastTerminal, "10.0.0.5");
    EXPECT_EQ(month[1].code, "333");
    // What was read is not written back; today's own count is.
    const QList<NotFoundChanges> changes = statistics.unsavedChanges();
    ASSERT_EQ(changes.size(), 1);
    ASSERT_EQ(changes[0].changed.size(), 1);
    EXPECT_EQ(changes[0].changed[0].code, "222");

    // A day read back into a full tally: the code that falls out leaves the changes to write too.
    ScanStatistics full{[this] { return now; }};
    for (int i = 0; i < ScanStatistics::kMaxCodesPerDay; ++i)
        full.scanAnswered("10.0.0.5", ScanOutcome::NotFound, QByteArray::number(i), 1000);
    full.loadDays({{Day, {{"from the file", 1, now + 1, now + 1, "10.0.0.3"}}}});
    const QList<NotFoundChanges> overflow = full.unsavedChanges();
    ASSERT_EQ(overflow.size(), 1);
    EXPECT_EQ(overflow[0].removed, QList<QByteArray>{"0"});
    EXPECT_EQ(overflow[0].changed.size(), ScanStatistics::kMaxCodesPerDay - 1);

    // Terminals: connected twice from one address is one terminal until both connections go.
    statistics.terminalConnected("10.0.0.7");
    statistics.terminalConnected("10.0.0.7");
    statistics.terminalDisconnected("10.0.0.7");
    EXPECT_EQ(statistics.terminalsConnected(), 1);
    statistics.terminalDisconnected("10.0.0.7");
    statistics.terminalDisconnected("10.0.0.7");
    EXPECT_EQ(statistics.terminalsConnected(), 0);
    for (int i = 0; i < ScanStatistics::kMaxTerminals + 10; ++i) {
        statistics.terminalConnected("10.1.0." + QByteArray::number(i));
        statistics.terminalDisconnected("10.1.0." + QByteArray::number(i));
    }
    EXPECT_EQ(statistics.terminals().size(), ScanStatistics::kMaxTerminals);
}

// Today's hours: each count in the local hour it came in, all of them emptied at midnight.
TEST_F(ScanStatisticsTest, TodaysHoursCountEachScanInItsHourUntilMidnight)
{
    const struct {
        QTime time;
        ScanOutcome outcome;
    } answered[] = {{QTime(9, 0), ScanOutcome::Found},
                    {QTime(9, 59, 59), ScanOutcome::NotFound},
                    {QTime(10, 0), ScanOutcome::Found},
                    {QTime(10, 30), ScanOutcome::Unregistered},
                    {QTime(23, 59, 59), ScanOutcome::NotFound}};
    for (const auto& a : answered) {
        now = At(Day, a.time);
        statistics.scanAnswered("10.0.0.5", a.outcome, "7", 1'000'000);
    }
    now = At(Day, QTime(10, 45));
    statistics.scanFailed("10.0.0.5", false);
    statistics.scanDropped("10.0.0.5");
    const std::array<ScanStatistics::Counts, 24> hours = statistics.hoursToday();
    EXPECT_EQ(hours[9].found, 1);
    EXPECT_EQ(hours[9].notFound, 1);
    EXPECT_EQ(hours[10].found, 1);
    EXPECT_EQ(hours[10].unregistered, 1);
    EXPECT_EQ(hours[10].failed, 1);
    EXPECT_EQ(hours[10].dropped, 1);
    EXPECT_EQ(hours[23].notFound, 1);
    qint64 all = 0;
    for (const ScanStatistics::Counts& hour : hours)
        all += hour.scans();
    EXPECT_EQ(all, 7);

    now = At(Day.addDays(1), QTime(0, 0, 1));
    statistics.scanAnswered("10.0.0.5", ScanOutcome::Found, "7", 1'000'000);
    const std::array<ScanStatistics::Counts, 24> next = statistics.hoursToday();
    EXPECT_EQ(next[0].found, 1);
    EXPECT_EQ(next[9].scans() + next[10].scans() + next[23].scans(), 0);
}
