#include "data/SqliteFile.h"

#include <QDir>
#include <QUrl>

#include <atomic>

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

void CloseSqliteConnection(const QString& name)
{
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
}

} // namespace tarvel
