// The statistics file on a real SQLite file: every code a terminal can send is kept as its bytes, and a
// row the file refuses costs no other row.

#include "status/StatsFile.h"

#include "data/EDatabaseError.h"
#include "support/Failure.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>

using namespace tarvel;

namespace {

const QDate Today(2026, 12, 10);

NotFoundTally Tally(const QByteArray& code, qint64 count)
{
    const qint64 at = QDateTime(Today, QTime(9, 30)).toMSecsSinceEpoch();
    return {code, count, at, at + count, "10.0.0.7"};
}

// Today's tallies as the file reads them back, by code.
std::map<QByteArray, qint64> Stored(const StatsFile& file)
{
    std::map<QByteArray, qint64> counts;
    for (const NotFoundDay& day : file.ReadDays(Today, Today))
        for (const NotFoundTally& tally : day.tallies)
            counts[tally.code] = tally.count;
    return counts;
}

class StatsFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Stats.Db");
        file.Open(path, false);
    }

    QTemporaryDir dir;
    QString path;
    StatsFile file;
};

// The codes a scan can bring: none at all (a one-byte message), control and high bytes, more than 64
// bytes, quotes. Each is written, read back as its bytes, counted on and removed again.
TEST_F(StatsFileTest, EveryCodeIsKeptAsItsBytes)
{
    const QList<QByteArray> codes = {
        QByteArray(),         QByteArray("", 0),   QByteArray("\x00\x01\x1b\xff", 4),
        QByteArray(100, '7'), "O'K \"quoted\" --", "9556001000017",
    };
    NotFoundChanges changes{Today, {}, {}};
    for (qsizetype i = 0; i < codes.size(); ++i)
        changes.changed.append(Tally(codes[i], i + 1));
    file.Write({changes}, Today);
    std::map<QByteArray, qint64> stored = Stored(file);
    // The null and the empty code are one code, the empty text.
    EXPECT_EQ(stored.size(), size_t(codes.size() - 1));
    EXPECT_EQ(stored[QByteArray("", 0)], 2);
    EXPECT_EQ(stored[QByteArray("\x00\x01\x1b\xff", 4)], 3);
    EXPECT_EQ(stored[QByteArray(100, '7')], 4);
    EXPECT_EQ(stored["O'K \"quoted\" --"], 5);

    // The next minute's write: the empty code counted on, then gone from the day.
    file.Write({{Today, {Tally(QByteArray(), 9)}, {}}}, Today);
    EXPECT_EQ(Stored(file)[QByteArray()], 9);
    file.Write({{Today, {}, {QByteArray(), "O'K \"quoted\" --"}}}, Today);
    stored = Stored(file);
    EXPECT_EQ(stored.count(QByteArray()), 0u);
    EXPECT_EQ(stored.count("O'K \"quoted\" --"), 0u);
    EXPECT_EQ(stored.size(), size_t(codes.size() - 3));
}

// A row the file refuses (here a trigger of someone's own refuses one code) leaves the others written.
TEST_F(StatsFileTest, ARowTheFileRefusesCostsNoOtherRow)
{
    {
        QSqlDatabase side = QSqlDatabase::addDatabase("QSQLITE", "stats-side");
        side.setDatabaseName(path);
        ASSERT_TRUE(side.open()) << side.lastError().text().toStdString();
        QSqlQuery trigger(side);
        ASSERT_TRUE(trigger.exec("CREATE TRIGGER refuse BEFORE INSERT ON NotFound WHEN NEW.CODE = CAST('refused' AS "
                                 "BLOB) BEGIN SELECT RAISE(ABORT, 'not this one'); END"))
            << trigger.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase("stats-side");

    const NotFoundChanges changes{Today, {Tally("first", 1), Tally("refused", 2), Tally("last", 3)}, {}};
    const StatsFile::WriteResult written = file.Write({changes}, Today);
    EXPECT_EQ(written.refused, 1);
    EXPECT_TRUE(written.firstRefusal.contains("not this one")) << written.firstRefusal.toStdString();
    EXPECT_EQ(Stored(file), (std::map<QByteArray, qint64>{{"first", 1}, {"last", 3}}));

    // A write of which the file takes no row is the file's own failure: thrown, nothing written.
    const QByteArray failure = Failure([&] { file.Write({{Today, {Tally("refused", 4)}, {}}}, Today); });
    EXPECT_TRUE(failure.startsWith("Cannot write the statistics file ")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("not this one")) << failure.toStdString();
}

} // namespace
