#include "data/SqliteFile.h"

#include "base/Errors.h"
#include "platform/Files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSqlDriver>
#include <QUrl>

#include <sqlite3.h>

#include <atomic>
#include <string>

namespace tarvel {

QString NewSqliteConnectionName(const QString& prefix)
{
    static std::atomic<int> count{0};
    return prefix + '-' + QString::number(++count);
}

QSqlDatabase OpenSqliteFile(const QString& name, const QString& file, const char* mode)
{
    QSqlDatabase db =
        QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false) : QSqlDatabase::addDatabase("QSQLITE", name);
    db.setConnectOptions("QSQLITE_OPEN_URI");
    db.setDatabaseName(QUrl::fromLocalFile(QDir::fromNativeSeparators(file)).toString(QUrl::FullyEncoded)
                       + "?mode=" + mode);
    db.open();
    return db;
}

void SetSqliteLockWait(const QSqlDatabase& db, int milliseconds)
{
    // Qt's driver hands out SQLite's own handle; its busy handler is a setting, no statement runs.
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.data()))
            sqlite3_busy_timeout(connection, milliseconds);
    }
}

bool IsSqliteLockFailure(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return code == QString::number(SQLITE_BUSY) || code == QString::number(SQLITE_LOCKED);
}

void CloseSqliteConnection(const QString& name)
{
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

void BackUpSqliteFile(const QString& from, const QString& to)
{
    const QString partial = to + ".partial";
    QFile::remove(partial);
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    std::string failure;
    const auto opened = [&failure](int result, sqlite3* db) {
        if (result != SQLITE_OK && failure.empty())
            failure = db ? sqlite3_errmsg(db) : sqlite3_errstr(result);
        return result == SQLITE_OK;
    };
    if (opened(sqlite3_open_v2(QFile::encodeName(from).constData(), &source, SQLITE_OPEN_READONLY, nullptr), source)
        && opened(sqlite3_open_v2(QFile::encodeName(partial).constData(), &target,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
                  target)) {
        if (sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main")) {
            // All pages in one step, under one read lock: a writer's change lands wholly before or after.
            const QDeadlineTimer deadline(30000);
            int step = SQLITE_OK;
            do {
                step = sqlite3_backup_step(backup, -1);
                if (step == SQLITE_BUSY || step == SQLITE_LOCKED)
                    sqlite3_sleep(50);
            } while ((step == SQLITE_BUSY || step == SQLITE_LOCKED) && !deadline.hasExpired());
            sqlite3_backup_finish(backup);
            if (step != SQLITE_DONE)
                failure = sqlite3_errstr(step);
        } else {
            failure = sqlite3_errmsg(target);
        }
    }
    sqlite3_close(source);
    if (target && sqlite3_close(target) != SQLITE_OK && failure.empty())
        failure = "the copy could not be closed";
    if (failure.empty()) {
        MakeGroupWritable(partial);
        QFile::remove(to);
        if (!QFile::rename(partial, to))
            failure = "the copy could not be renamed from " + QFile::encodeName(partial).toStdString();
    }
    if (!failure.empty()) {
        QFile::remove(partial);
        throw TarvelError("Cannot back up " + QFile::encodeName(from).toStdString() + " to "
                          + QFile::encodeName(to).toStdString() + ": " + failure);
    }
}

} // namespace tarvel
