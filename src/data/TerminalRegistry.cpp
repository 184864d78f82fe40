#include "data/TerminalRegistry.h"

#include "base/Front.h"
#include "data/EDatabaseError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

#include <atomic>

namespace tarvel {

namespace {

std::atomic<int> ConnectionCount{0};

std::string PathText(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string EngineText(const QSqlError& error) { return error.text().toLocal8Bit().toStdString(); }

} // namespace

TerminalRegistry::TerminalRegistry()
    : connectionName_(QStringLiteral("tarvel-registry-%1").arg(++ConnectionCount))
{
}

TerminalRegistry::~TerminalRegistry() { Close(); }

QString TerminalRegistry::FolderOf(const QString& programFolder)
{
    return programFolder + "Log" + QDir::separator() + "TarvelDb";
}

QString TerminalRegistry::FileOf(const QString& programFolder)
{
    return FolderOf(programFolder) + QDir::separator() + "Tarvel.Db";
}

void TerminalRegistry::OpenTerminalRegistry(const QString& programFolder, Front& front)
{
    Close();
    const QString folder = FolderOf(programFolder);
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw TarvelError("Cannot create " + PathText(folder));

    const QString file = FileOf(programFolder);
    if (!QFileInfo::exists(file))
        createTable(file);

    try {
        openTable(file);
    } catch (const EDatabaseError& error) {
        Close();
        front.showErrorBox(error.what());
    }
}

// Opens `file` through a URI so that mode "rw" never creates it: SQLite would otherwise make an empty
// database of any missing name.
QSqlDatabase TerminalRegistry::openConnection(const QString& file, const char* mode)
{
    QSqlDatabase db = QSqlDatabase::contains(connectionName_)
        ? QSqlDatabase::database(connectionName_, false)
        : QSqlDatabase::addDatabase("QSQLITE", connectionName_);
    db.setConnectOptions("QSQLITE_OPEN_URI");
    db.setDatabaseName(QUrl::fromLocalFile(QDir::fromNativeSeparators(file)).toString(QUrl::FullyEncoded)
                       + "?mode=" + mode);
    if (!db.open())
        throw EDatabaseError("Cannot open the terminal registry " + PathText(file) + ": " + EngineText(db.lastError()));
    return db;
}

// Table and index in one transaction: either both are made or the new file is removed again, so a
// later start tries afresh instead of finding a file without its table.
void TerminalRegistry::createTable(const QString& file)
{
    std::string failure;
    {
        QSqlDatabase db = openConnection(file, "rwc");
        QSqlQuery query(db);
        const char* const statements[] = {
            "BEGIN",
            "CREATE TABLE Tarvel (ID INTEGER PRIMARY KEY AUTOINCREMENT, ADDRESS CHAR(40))",
            "CREATE INDEX ByName ON Tarvel (ADDRESS)",
            "COMMIT",
        };
        for (const char* statement : statements) {
            if (!query.exec(statement)) {
                failure = "Cannot create the terminal registry " + PathText(file) + ": "
                    + EngineText(query.lastError());
                query.exec("ROLLBACK");
                break;
            }
        }
        query.finish();
        db.close();
    }
    if (!failure.empty()) {
        QFile::remove(file);
        throw EDatabaseError(failure);
    }
}

void TerminalRegistry::openTable(const QString& file)
{
    QSqlDatabase db = openConnection(file, "rw");
    // Preparing the search reads the schema: a file that is no database, or has no table Tarvel with
    // an ADDRESS column, fails here, before anything is written to it.
    locate_ = QSqlQuery(db);
    if (!locate_.prepare("SELECT ID FROM Tarvel WHERE ADDRESS = ? ORDER BY ID LIMIT 1"))
        throw EDatabaseError("Cannot open the terminal registry " + PathText(file) + ": "
                             + EngineText(locate_.lastError()));
    try {
        dataset_.Open(db);
    } catch (const EDatabaseError& error) {
        throw EDatabaseError("Cannot open the terminal registry " + PathText(file) + ": " + error.what());
    }
}

bool TerminalRegistry::Locate(const QByteArray& address)
{
    if (!dataset_.IsOpen())
        throw EDatabaseError(RegistryClosedMessage);
    dataset_.EndPendingEditForSearch();
    // Each byte as the character of the same value: SQLite's BINARY comparison is then byte-exact,
    // with no padding of CHAR(40) and no case folding.
    locate_.bindValue(0, QString::fromLatin1(address));
    if (!locate_.exec())
        throw EDatabaseError(EngineText(locate_.lastError()));
    const bool found = locate_.next();
    const qint64 id = found ? locate_.value(0).toLongLong() : 0;
    locate_.finish();  // releases the read lock, so the sqlite3 command can write meanwhile
    if (found)
        dataset_.MoveToId(id);
    return found;
}

void TerminalRegistry::Register(const QByteArray& address)
{
    dataset_.Last();
    dataset_.Insert();
    try {
        dataset_.SetAddress(address);
        dataset_.Post();
    } catch (...) {
        dataset_.Cancel();
        throw;
    }
}

int TerminalRegistry::Unregister(const QByteArray& address)
{
    int removed = 0;
    for (; Locate(address); ++removed)
        dataset_.Delete();
    return removed;
}

QList<QByteArray> TerminalRegistry::Addresses() const
{
    if (!dataset_.IsOpen())
        throw EDatabaseError(RegistryClosedMessage);
    QList<QByteArray> addresses;
    for (int row = 0; row < dataset_.RecordCount(); ++row)
        if (dataset_.IdAt(row) > 0)
            addresses.append(dataset_.AddressAt(row));
    return addresses;
}

void TerminalRegistry::Close()
{
    dataset_.Close();
    locate_ = QSqlQuery();
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

} // namespace tarvel
