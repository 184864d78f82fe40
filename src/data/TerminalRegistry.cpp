#include "data/TerminalRegistry.h"

#include "base/Errors.h"
#include "data/EDatabaseError.h"
#include "data/SqliteFile.h"
#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>

#include <algorithm>

namespace tarvel {

namespace {

std::string PathText(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool IsDecimalPart(const QByteArray& part)
{
    if (part.isEmpty() || part.size() > 3)
        return false;
    if (!std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (part.size() > 1 && part[0] == '0')
        return false;
    return part.toInt() <= 255;
}

} // namespace

bool IsDottedIPv4(const QByteArray& text)
{
    const QList<QByteArray> parts = text.split('.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), IsDecimalPart);
}

std::string RegistryAddressRefusal(const QByteArray& address)
{
    if (address.isEmpty())
        return "The address is empty: no terminal would ever match it";
    if (!IsDottedIPv4(address))
        return "\"" + address.toStdString()
             + "\" is not an IPv4 address (four numbers from 0 to 255 between dots, without leading zeros or"
               " blanks): no terminal would ever match it";
    return {};
}

QString AddressToField(const QByteArray& address) { return QString::fromLatin1(address); }

QByteArray AddressFromField(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.toString().toLatin1();
}

std::string RegistryEngineText(const QSqlError& error)
{
    const std::string text = error.text().toLocal8Bit().toStdString();
    return IsSqliteLockFailure(error) ? "The terminal registry is locked by another program: " + text : text;
}

namespace {

// The lock wait of a scan for the time of one search, the operator's again afterwards: the grid's
// reads run on the same connection.
class ScanLockWait {
public:
    explicit ScanLockWait(const QSqlDatabase& db) : db_(db) { SetSqliteLockWait(db_, kRegistryScanLockWaitMs); }
    ~ScanLockWait() { SetSqliteLockWait(db_, kRegistryLockWaitMs); }
    ScanLockWait(const ScanLockWait&) = delete;
    ScanLockWait& operator=(const ScanLockWait&) = delete;

private:
    const QSqlDatabase& db_;
};

} // namespace

TerminalRegistry::TerminalRegistry() : connectionName_(NewSqliteConnectionName("tarvel-registry")) {}

TerminalRegistry::~TerminalRegistry() { Close(); }

QString TerminalRegistry::FolderOf(const QString& programFolder)
{
    return programFolder + "Log" + QDir::separator() + "TarvelDb";
}

QString TerminalRegistry::FileOf(const QString& programFolder)
{
    return FolderOf(programFolder) + QDir::separator() + "Tarvel.Db";
}

void TerminalRegistry::CreateTerminalRegistry(const QString& programFolder)
{
    Close();
    const QString folder = FolderOf(programFolder);
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            throw TarvelError("Cannot create " + PathText(folder));
        MakeGroupWritable(programFolder + "Log");
        MakeGroupWritable(folder);
    }

    const QString file = FileOf(programFolder);
    if (!QFileInfo::exists(file))
        createTable(file);
}

void TerminalRegistry::OpenTerminalRegistry(const QString& programFolder, Access access)
{
    Close();
    file_ = FileOf(programFolder);
    try {
        openTable(file_, access == Access::ReadOnly ? "ro" : "rw");
    } catch (...) {
        Close();
        throw;
    }
    open_ = true;
}

QSqlDatabase TerminalRegistry::openConnection(const QString& file, const char* mode)
{
    QSqlDatabase db = OpenSqliteFile(connectionName_, file, mode);
    if (!db.isOpen())
        throw EDatabaseError("Cannot open the terminal registry " + PathText(file) + ": "
                             + RegistryEngineText(db.lastError()));
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
                        + RegistryEngineText(query.lastError());
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
    MakeGroupWritable(file);
}

void TerminalRegistry::openTable(const QString& file, const char* mode)
{
    // Taken before the file is opened: a file renamed over it meanwhile is then seen at the next search.
    identity_ = FileIdentityOf(file);
    db_ = openConnection(file, mode);
    SetSqliteLockWait(db_, kRegistryLockWaitMs);
    readTable(file);
    header_.setFileName(file);
    header_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void TerminalRegistry::readTable(const QString& file)
{
    const auto fail = [&file](const std::string& why) {
        throw EDatabaseError("Cannot open the terminal registry " + PathText(file) + ": " + why);
    };
    // Preparing the search reads the schema: a file that is no database, or has no table Tarvel with
    // an ADDRESS column, fails here, before anything is written to it.
    locate_ = QSqlQuery(db_);
    if (!locate_.prepare("SELECT ID FROM Tarvel WHERE ADDRESS = ? ORDER BY ID LIMIT 1"))
        fail(RegistryEngineText(locate_.lastError()));
    // The grid shows the columns in this order, and every row must read.
    const QSqlRecord columns = db_.record("Tarvel");
    if (columns.indexOf("ID") != RegistryIdColumn || columns.indexOf("ADDRESS") != RegistryAddressColumn)
        fail("The table Tarvel does not have the columns ID and ADDRESS");
    QSqlQuery rows(db_);
    rows.setForwardOnly(true);
    bool read = rows.exec("SELECT ID, ADDRESS FROM Tarvel ORDER BY ID");
    while (read && rows.next()) {
    }
    if (!read || rows.lastError().isValid())
        fail(RegistryEngineText(rows.lastError()));
}

void TerminalRegistry::requireOpen() const
{
    if (!open_)
        throw EDatabaseError(RegistryClosedMessage);
}

FileStamp TerminalRegistry::followReplacedFile()
{
    const std::optional<FileStamp> now = FileStampOf(file_);
    if (!now)
        throw EDatabaseError("The terminal registry " + PathText(file_)
                             + " is gone: no terminal is registered until a registry is back there");
    if (now->identity == identity_)
        return *now;
    // Another file under the name (a tool wrote a new one and renamed it over the old): the same
    // connection opens it afresh, so the editing model's rows come from it too.
    locate_ = QSqlQuery();
    db_.close();
    header_.close();
    identity_ = now->identity;
    try {
        if (!db_.open())
            throw EDatabaseError("Cannot open the terminal registry " + PathText(file_) + ": "
                                 + RegistryEngineText(db_.lastError()));
        SetSqliteLockWait(db_, kRegistryScanLockWaitMs);
        readTable(file_);
    } catch (...) {
        // Tried again at the next search.
        identity_.reset();
        throw;
    }
    header_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return *now;
}

std::optional<TerminalRegistry::SearchStamp> TerminalRegistry::searchStamp(const FileStamp& file)
{
    // SQLite's header: "SQLite format 3" and a zero, the page size, the write and read versions (1 for
    // a rollback journal, 2 for WAL, whose commits leave the change counter as it is), three bytes
    // more, then the change counter at 24.
    constexpr qsizetype kHeaderBytes = 28;
    if (!header_.isOpen() || !header_.seek(0))
        return std::nullopt;
    SearchStamp stamp{file, header_.read(kHeaderBytes)};
    if (stamp.header.size() != kHeaderBytes || !stamp.header.startsWith(QByteArray("SQLite format 3", 16))
        || stamp.header[18] != 1 || stamp.header[19] != 1)
        return std::nullopt;
    return stamp;
}

bool TerminalRegistry::Locate(const QByteArray& address)
{
    // Addresses answered for one state of the file: those a store's terminals have, and a bound
    // against a crowd of others.
    constexpr qsizetype kAnswersKept = 4096;
    requireOpen();
    const ScanLockWait wait(db_);
    FileStamp file = followReplacedFile();
    if (pendingEdit_) {
        pendingEdit_->SettlePendingEdit();
        if (const std::optional<FileStamp> settled = FileStampOf(file_))
            file = *settled; // the row it wrote, if any, is in the file now
    }
    const std::optional<SearchStamp> stamp = searchStamp(file);
    if (stamp && stamp == answersStamp_) {
        if (const auto answer = answers_.constFind(address); answer != answers_.cend())
            return *answer;
    } else {
        // Taken before the query: a commit after this point is seen at the next search.
        answers_.clear();
        answersStamp_ = stamp;
    }
    // Each byte as the character of the same value: SQLite's BINARY comparison is then byte-exact,
    // with no padding of CHAR(40) and no case folding.
    locate_.bindValue(0, AddressToField(address));
    if (!locate_.exec()) {
        const QSqlError error = locate_.lastError();
        locate_.finish();
        throw EDatabaseError(searchFailure(error));
    }
    const bool found = locate_.next();
    locate_.finish(); // releases the read lock, so the sqlite3 command can write meanwhile
    if (answersStamp_) {
        if (answers_.size() >= kAnswersKept)
            answers_.clear();
        answers_.insert(address, found);
    }
    return found;
}

void TerminalRegistry::Register(const QByteArray& address) { RegisterAll({address}); }

int TerminalRegistry::Unregister(const QByteArray& address) { return UnregisterAll({address}); }

void TerminalRegistry::RegisterAll(const QList<QByteArray>& addresses)
{
    requireOpen();
    QList<QVariantList> rows;
    for (const QByteArray& address : addresses) {
        if (address.size() > RegistryAddressWidth)
            throw TarvelError("An address holds at most 40 characters");
        if (const std::string refusal = RegistryAddressRefusal(address); !refusal.empty())
            throw TarvelError(refusal);
        rows.append({AddressToField(address)});
    }
    runWrites("INSERT INTO Tarvel (ADDRESS) VALUES (?)", rows);
}

int TerminalRegistry::UnregisterAll(const QList<QByteArray>& addresses)
{
    requireOpen();
    QList<QVariantList> rows;
    for (const QByteArray& address : addresses)
        rows.append({AddressToField(address)});
    return runWrites("DELETE FROM Tarvel WHERE ADDRESS = ?", rows).rowsAffected;
}

QList<QByteArray> TerminalRegistry::Addresses() const
{
    requireOpen();
    QSqlQuery rows(db_);
    rows.setForwardOnly(true);
    if (!rows.exec("SELECT ADDRESS FROM Tarvel ORDER BY ID"))
        throw EDatabaseError(RegistryEngineText(rows.lastError()));
    QList<QByteArray> addresses;
    while (rows.next())
        addresses.append(AddressFromField(rows.value(0)));
    return addresses;
}

qint64 TerminalRegistry::InsertRow(const QByteArray& address)
{
    requireOpen();
    return runWrite("INSERT INTO Tarvel (ADDRESS) VALUES (?)", {AddressToField(address)}).insertedId;
}

int TerminalRegistry::UpdateRow(qint64 id, const QByteArray& address)
{
    requireOpen();
    return runWrite("UPDATE Tarvel SET ADDRESS = ? WHERE ID = ?", {AddressToField(address), id}).rowsAffected;
}

void TerminalRegistry::DeleteRow(qint64 id)
{
    requireOpen();
    runWrite("DELETE FROM Tarvel WHERE ID = ?", {id});
}

// One statement in its own transaction, committed before returning: a crash afterwards keeps the row.
TerminalRegistry::WriteResult TerminalRegistry::runWrite(const QString& sql, const QVariantList& values)
{
    return runWrites(sql, {values});
}

TerminalRegistry::WriteResult TerminalRegistry::runWrites(const QString& sql, const QList<QVariantList>& values)
{
    if (!db_.transaction())
        throw EDatabaseError(writeFailure(db_.lastError()));
    QSqlQuery query(db_);
    bool ok = query.prepare(sql);
    WriteResult result{0, 0};
    for (qsizetype row = 0; ok && row < values.size(); ++row) {
        for (int i = 0; i < values[row].size(); ++i)
            query.bindValue(i, values[row][i]);
        ok = query.exec();
        if (ok) {
            result.rowsAffected += query.numRowsAffected();
            result.insertedId = query.lastInsertId().toLongLong();
        }
    }
    const QSqlError error = ok ? QSqlError() : query.lastError();
    query.finish();
    if (!ok) {
        db_.rollback();
        throw EDatabaseError(writeFailure(error));
    }
    if (!db_.commit()) {
        const QSqlError commitError = db_.lastError();
        db_.rollback();
        throw EDatabaseError(writeFailure(commitError));
    }
    return result;
}

std::string TerminalRegistry::searchFailure(const QSqlError& error) const
{
    const std::string text = error.text().toLocal8Bit().toStdString();
    if (!IsSqliteLockFailure(error))
        return text;
    return "The terminal registry " + PathText(file_) + " is locked by another program, which holds a write open on "
         + "it: " + text;
}

// A file the user may not write (made by root, say, or 0644 by another member of the group) is named
// with its owner and mode, which tell the operator what to change.
std::string TerminalRegistry::writeFailure(const QSqlError& error) const
{
    const QByteArray ownership = FileOwnershipText(file_);
    if (IsSqliteLockFailure(error))
        return "Cannot write the terminal registry " + PathText(file_)
             + ": it is locked by another program, which holds a write open on it (" + error.text().toStdString()
             + "); nothing was written";
    return "Cannot write the terminal registry " + PathText(file_)
         + (ownership.isEmpty() ? std::string() : " (" + ownership.toStdString() + ")") + ": "
         + RegistryEngineText(error);
}

void TerminalRegistry::Close()
{
    if (pendingEdit_)
        pendingEdit_->DropPendingEdit();
    open_ = false;
    identity_.reset();
    header_.close();
    answersStamp_.reset();
    answers_.clear();
    locate_ = QSqlQuery();
    db_ = QSqlDatabase();
    CloseSqliteConnection(connectionName_);
}

} // namespace tarvel
