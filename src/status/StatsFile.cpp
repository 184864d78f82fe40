#include "status/StatsFile.h"

#include "data/EDatabaseError.h"
#include "data/SqliteFile.h"
#include "data/TerminalRegistry.h"
#include "platform/Files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace tarvel {

namespace {

constexpr const char* kDayFormat = "yyyy-MM-dd";

QString TimeText(qint64 msecs) { return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs); }

// A code as the file keeps it: its bytes as a blob. An empty code is the empty blob: the null byte
// array that an empty message's code may be would bind as NULL, which the table refuses.
QVariant CodeValue(const QByteArray& code) { return code.isNull() ? QByteArray("") : code; }

qint64 TimeFromText(const QString& text)
{
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : -1;
}

} // namespace

StatsFile::StatsFile() : connectionName_(NewSqliteConnectionName("tarvel-stats")) {}

StatsFile::~StatsFile() { Close(); }

QString StatsFile::FileOf(const QString& programFolder)
{
    return TerminalRegistry::FolderOf(programFolder) + QDir::separator() + "Stats.Db";
}

void StatsFile::Open(const QString& file, bool readOnly)
{
    Close();
    path_ = file;
    const auto fail = [&](const QSqlError& error) {
        const std::string why = error.text().toLocal8Bit().toStdString();
        Close();
        throw EDatabaseError("Cannot open the statistics file " + QFile::encodeName(file).toStdString() + ": " + why);
    };
    const bool made = !readOnly && !QFile::exists(file);
    db_ = OpenSqliteFile(connectionName_, file, readOnly ? "ro" : "rwc");
    if (!db_.isOpen())
        fail(db_.lastError());
    if (made)
        MakeGroupWritable(file);
    QSqlQuery query(db_);
    if (!readOnly
        && !query.exec("CREATE TABLE IF NOT EXISTS NotFound (DAY TEXT NOT NULL, CODE BLOB NOT NULL, COUNT INTEGER "
                       "NOT NULL, FIRST_SEEN TEXT NOT NULL, LAST_SEEN TEXT NOT NULL, LAST_TERMINAL TEXT NOT NULL, "
                       "PRIMARY KEY (DAY, CODE))"))
        fail(query.lastError());
    // A file that is no database, or lacks the table, fails here, before anything else is done with it.
    if (!query.exec("SELECT DAY, CODE, COUNT, FIRST_SEEN, LAST_SEEN, LAST_TERMINAL FROM NotFound LIMIT 1"))
        fail(query.lastError());
}

void StatsFile::Close()
{
    db_ = QSqlDatabase();
    CloseSqliteConnection(connectionName_);
}

QList<NotFoundDay> StatsFile::ReadDays(QDate first, QDate last) const
{
    QSqlQuery rows(db_);
    rows.setForwardOnly(true);
    const bool prepared =
        rows.prepare("SELECT DAY, CODE, COUNT, FIRST_SEEN, LAST_SEEN, LAST_TERMINAL FROM NotFound WHERE DAY >= ? AND "
                     "DAY <= ? ORDER BY DAY");
    rows.bindValue(0, first.toString(kDayFormat));
    rows.bindValue(1, last.toString(kDayFormat));
    if (!prepared || !rows.exec())
        throw EDatabaseError("Cannot read the statistics file " + QFile::encodeName(path_).toStdString() + ": "
                             + rows.lastError().text().toLocal8Bit().toStdString());
    QList<NotFoundDay> days;
    while (rows.next()) {
        const QDate day = QDate::fromString(rows.value(0).toString(), kDayFormat);
        NotFoundTally tally;
        tally.code = rows.value(1).toByteArray();
        tally.count = rows.value(2).toLongLong();
        tally.firstSeen = TimeFromText(rows.value(3).toString());
        tally.lastSeen = TimeFromText(rows.value(4).toString());
        tally.lastTerminal = rows.value(5).toString().toLatin1();
        if (!day.isValid() || tally.count < 1 || tally.firstSeen < 0 || tally.lastSeen < 0)
            continue;
        if (days.isEmpty() || days.last().day != day)
            days.append({day, {}});
        days.last().tallies.append(tally);
    }
    return days;
}

StatsFile::WriteResult StatsFile::Write(const QList<NotFoundChanges>& changes, QDate oldestKept)
{
    const auto fail = [this](const QSqlError& error) {
        db_.rollback();
        throw EDatabaseError("Cannot write the statistics file " + QFile::encodeName(path_).toStdString() + ": "
                             + error.text().toLocal8Bit().toStdString());
    };
    if (!db_.transaction())
        fail(db_.lastError());
    WriteResult result;
    int written = 0;
    // A row the file refuses is statement-level: the transaction goes on with the others.
    const auto run = [&](QSqlQuery& row) {
        if (row.exec()) {
            ++written;
        } else if (result.refused++ == 0) {
            result.firstRefusal = row.lastError().text().toLocal8Bit();
        }
    };
    {
        QSqlQuery replace(db_);
        QSqlQuery remove(db_);
        QSqlQuery prune(db_);
        if (!replace.prepare("INSERT OR REPLACE INTO NotFound (DAY, CODE, COUNT, FIRST_SEEN, LAST_SEEN, LAST_TERMINAL) "
                             "VALUES (?, ?, ?, ?, ?, ?)"))
            fail(replace.lastError());
        if (!remove.prepare("DELETE FROM NotFound WHERE DAY = ? AND CODE = ?"))
            fail(remove.lastError());
        for (const NotFoundChanges& day : changes) {
            const QString dayText = day.day.toString(kDayFormat);
            for (const QByteArray& code : day.removed) {
                remove.bindValue(0, dayText);
                remove.bindValue(1, CodeValue(code));
                run(remove);
            }
            for (const NotFoundTally& tally : day.changed) {
                replace.bindValue(0, dayText);
                replace.bindValue(1, CodeValue(tally.code));
                replace.bindValue(2, tally.count);
                replace.bindValue(3, TimeText(tally.firstSeen));
                replace.bindValue(4, TimeText(tally.lastSeen));
                replace.bindValue(5, QString::fromLatin1(tally.lastTerminal));
                run(replace);
            }
        }
        // Nothing taken: the file itself fails (locked, read only, full), and the changes wait.
        if (written == 0 && result.refused > 0) {
            db_.rollback();
            throw EDatabaseError("Cannot write the statistics file " + QFile::encodeName(path_).toStdString() + ": "
                                 + result.firstRefusal.toStdString());
        }
        if (!prune.prepare("DELETE FROM NotFound WHERE DAY < ?"))
            fail(prune.lastError());
        prune.bindValue(0, oldestKept.toString(kDayFormat));
        if (!prune.exec())
            fail(prune.lastError());
    }
    if (!db_.commit())
        fail(db_.lastError());
    return result;
}

} // namespace tarvel
