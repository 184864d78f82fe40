#pragma once

#include "status/NotFoundTally.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace tarvel {

// The statistics kept across restarts: the SQLite file "Stats.Db" beside the terminal registry, table
// NotFound (DAY "yyyy-MM-dd", CODE as its bytes, COUNT, FIRST_SEEN and LAST_SEEN as ISO 8601 UTC texts,
// LAST_TERMINAL), one row per day and code. Staff may read it with the sqlite3 command. Says nothing to
// the operator: failures are thrown as EDatabaseError. Event thread only.
class StatsFile {
public:
    StatsFile();
    ~StatsFile();
    StatsFile(const StatsFile&) = delete;
    StatsFile& operator=(const StatsFile&) = delete;

    // The registry's folder (Log/TarvelDb under ProgramFolder) + "Stats.Db".
    static QString FileOf(const QString& programFolder);

    // Writable: the file and its table are made when missing (the folder must exist). Read-only: the
    // file must exist, and nothing is ever written to it. A file that is no database or has no readable
    // table NotFound throws, and is left as it is.
    void Open(const QString& file, bool readOnly);
    void Close();
    bool IsOpen() const { return db_.isOpen(); }

    // The tallies of the days from `first` to `last`, oldest day first. Rows that do not read as a
    // tally (a day or time that is no date, a count below 1) are passed over.
    QList<NotFoundDay> ReadDays(QDate first, QDate last) const;

    // Every change, and the removal of the days before `oldestKept`, in one transaction, on disk when
    // it returns. A row the file refuses costs no other: it is passed over and counted in the result.
    // Thrown, with nothing written: the file as a whole fails (it takes no row at all, or the
    // transaction cannot begin or commit).
    struct WriteResult {
        int refused = 0; // rows passed over; all the others are written
        QByteArray firstRefusal; // the file's words for the first of them
    };
    WriteResult Write(const QList<NotFoundChanges>& changes, QDate oldestKept);

private:
    QString connectionName_;
    QString path_;
    QSqlDatabase db_;
};

} // namespace tarvel
