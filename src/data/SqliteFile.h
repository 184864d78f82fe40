#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace tarvel {

// The program's SQLite files (the terminal registry, the statistics) through Qt's driver, each on a
// connection of its own name so that several may be open at once.

// A connection name no other one in this process has: "<prefix>-<n>".
QString NewSqliteConnectionName(const QString& prefix);

// The connection `name` on `file` in `mode` ("ro", "rw" or "rwc"). Opened through a URI, so that "ro"
// and "rw" never make an empty database of a missing name, as SQLite otherwise would. Whether it
// opened: isOpen() and lastError() of what it returns.
QSqlDatabase OpenSqliteFile(const QString& name, const QString& file, const char* mode);

// How long a statement on the open connection waits for a lock another program holds (a write it has
// open, say the sqlite3 command's "begin exclusive") before it fails with SQLITE_BUSY.
void SetSqliteLockWait(const QSqlDatabase& db, int milliseconds);

// True for the failure of a statement that waited out SetSqliteLockWait in vain.
bool IsSqliteLockFailure(const QSqlError& error);

// Closes and forgets the connection `name`, when there is one. Every QSqlDatabase and QSqlQuery on it
// must be let go first.
void CloseSqliteConnection(const QString& name);

// Copies the SQLite file `from` to `to` with SQLite's backup API, so that the copy is a consistent
// database even while the service writes `from`; `to` is written under a temporary name beside it and
// renamed over, so a failed copy leaves whatever was there. Waits out a writer's lock for up to 30 s.
// Throws TarvelError "Cannot back up <from> to <to>: <SQLite's words>".
void BackUpSqliteFile(const QString& from, const QString& to);

} // namespace tarvel
