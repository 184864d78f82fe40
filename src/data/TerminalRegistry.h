#pragma once

#include "data/RegistrySearch.h"
#include "platform/Files.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>
#include <string>

class QSqlError;

namespace tarvel {

// The message of every operation tried on the registry while its table is closed.
inline constexpr char RegistryClosedMessage[] = "Cannot perform this operation on a closed dataset";

// How long the registry waits for a lock another program holds on its file (a write kept open with the
// sqlite3 command): a scan, whose terminal gives up at 1 s, no more than a fifth of that; the
// operator's commands and the setup dialog a few seconds. Then the call fails, saying so.
inline constexpr int kRegistryScanLockWaitMs = 200;
inline constexpr int kRegistryLockWaitMs = 3000;

// The registry table's columns, in this order.
inline constexpr int RegistryIdColumn = 0;
inline constexpr int RegistryAddressColumn = 1;
inline constexpr int RegistryAddressWidth = 40;

// True for a dotted-decimal IPv4 address as a terminal's peer address reads: four numbers 0 to 255,
// no leading zeros, no blanks, nothing else.
bool IsDottedIPv4(const QByteArray& text);

// The one rule for what the registry stores: an address that some terminal could have. Empty when
// `address` may be stored; otherwise why not, for the operator. The grid's Post, the command line's
// --register and the search's settling of a pending row all go by it.
std::string RegistryAddressRefusal(const QByteArray& address);

// Addresses are 8-bit; each byte travels as the character of the same value, so what is stored and
// searched is exactly the bytes given. A blob someone stored with the sqlite3 command reads as its bytes.
QString AddressToField(const QByteArray& address);
QByteArray AddressFromField(const QVariant& value);

// The engine's text of a QtSql error, for an EDatabaseError; a lock waited for in vain is said as
// "The terminal registry is locked by another program: <engine's text>".
std::string RegistryEngineText(const QSqlError& error);

// What the registry asks of the grid's editing model while one works on it: a row left pending there
// (typed, not posted, say because the setup dialog was closed with Cancel) is settled before each
// search, and dropped when the registry closes.
class PendingEdit {
public:
    virtual ~PendingEdit() = default;
    // Posts a pending row that holds a change the address rule accepts; cancels any other pending row.
    // Throws EDatabaseError on engine failure.
    virtual void SettlePendingEdit() = 0;
    // The table is closing: a pending row is dropped, unposted, and the rows are let go.
    virtual void DropPendingEdit() = 0;
};

// The registry of terminal addresses (tblTarvel): the SQLite file "Tarvel.Db" in ProgramFolder's
// Log/TarvelDb folder, table Tarvel (ID, ADDRESS) with the index ByName on ADDRESS. Staff manage the
// same file with the sqlite3 command, so those names stay as they are. Every write is its own committed
// transaction, on disk when the call returns. Says nothing to the operator: failures are thrown.
// Each instance has its own QtSql connection; several may exist at once. Event thread only.
class TerminalRegistry : public RegistrySearch {
public:
    TerminalRegistry();
    ~TerminalRegistry() override;
    TerminalRegistry(const TerminalRegistry&) = delete;
    TerminalRegistry& operator=(const TerminalRegistry&) = delete;

    // ProgramFolder (with its trailing separator) + "Log" + separator + "TarvelDb", platform separators.
    static QString FolderOf(const QString& programFolder);
    static QString FileOf(const QString& programFolder); // FolderOf + "Tarvel.Db"

    // Creates the folder when missing (TarvelError "Cannot create " + path when it cannot), then the
    // table and its index when the file is missing (EDatabaseError when a statement fails; the
    // half-made file is removed).
    void CreateTerminalRegistry(const QString& programFolder);
    // Opens the table. A file that is not a database, or has no table Tarvel with the columns ID and
    // ADDRESS whose rows can be read, throws EDatabaseError "Cannot open the terminal registry <file>:
    // <why>"; the table stays closed and the file is left untouched. Read only: every write throws, and
    // nothing is written next to the file either (the setup check looks without touching).
    enum class Access { ReadWrite, ReadOnly };
    void OpenTerminalRegistry(const QString& programFolder, Access access = Access::ReadWrite);

    bool IsOpen() const { return open_; }

    // True when a row's ADDRESS equals `address` whole, byte for byte, in the file as it is now. A file
    // that another has replaced under the same name since the last search (written anew and renamed
    // over it) is opened afresh first; a file that is gone fails the search. Settles the editing
    // model's pending row next. The indexed query runs when the file has changed since the address was
    // last searched: its size, its time of writing and SQLite's change counter (which every commit
    // moves, this program's and another's) are looked at for each call, and while all three stay the
    // same the answer of that search stands. A file in WAL mode is queried at every call. Throws
    // EDatabaseError while the table is closed, while the file is gone or cannot be opened, when
    // another program's lock outlasts kRegistryScanLockWaitMs, or when the engine fails.
    bool Locate(const QByteArray& address) override;

    // For the command line. Register stores one row (TarvelError for more than 40 characters and for
    // what RegistryAddressRefusal refuses, nothing stored then). Unregister deletes every row whose
    // ADDRESS equals `address` exactly and says how many. Addresses lists the stored rows in key order.
    // All throw EDatabaseError while the table is closed.
    void Register(const QByteArray& address);
    int Unregister(const QByteArray& address);
    QList<QByteArray> Addresses() const;
    // Several at once, in one transaction: all are stored (removed), or none. RegisterAll checks each
    // address as Register does before writing anything; UnregisterAll says how many rows went.
    void RegisterAll(const QList<QByteArray>& addresses);
    int UnregisterAll(const QList<QByteArray>& addresses);

    // For the grid's editing model: the open table's connection, and the writes of single rows by ID.
    // InsertRow gives the new row's ID; UpdateRow says how many rows changed (0: the row is gone).
    QSqlDatabase Connection() const { return db_; }
    qint64 InsertRow(const QByteArray& address);
    int UpdateRow(qint64 id, const QByteArray& address);
    void DeleteRow(qint64 id);
    // The model that each search asks to settle its pending row; null for none. It leaves before it is
    // destroyed.
    void setPendingEdit(PendingEdit* edit) { pendingEdit_ = edit; }

    // Drops the editing model's pending row, unposted, and closes the table.
    void Close();

private:
    QSqlDatabase openConnection(const QString& file, const char* mode);
    void createTable(const QString& file);
    void openTable(const QString& file, const char* mode);
    // Reads the schema and every row of the open connection: what makes a file a registry.
    void readTable(const QString& file);
    // The file as it is now, opened afresh when another has replaced it.
    FileStamp followReplacedFile();
    // What tells that the file changed since a search: its stamp and SQLite's header up to the change
    // counter. Nothing when the header cannot be read or is not a rollback journal's.
    struct SearchStamp {
        FileStamp file;
        QByteArray header;
        bool operator==(const SearchStamp&) const = default;
    };
    std::optional<SearchStamp> searchStamp(const FileStamp& file);
    void requireOpen() const;
    struct WriteResult {
        int rowsAffected;
        qint64 insertedId;
    };
    WriteResult runWrite(const QString& sql, const QVariantList& values);
    // The statement once for each list of values, all in one transaction; the results summed.
    WriteResult runWrites(const QString& sql, const QList<QVariantList>& values);
    // A failed search's message: the engine's words, after the file's name when it is locked.
    std::string searchFailure(const QSqlError& error) const;
    // A refused write's message: the file, its owner and mode, and the engine's words.
    std::string writeFailure(const QSqlError& error) const;

    QString connectionName_;
    QString file_;
    // The file the connection has open, told apart from any later one under the same name.
    std::optional<FileIdentity> identity_;
    QSqlDatabase db_;
    QSqlQuery locate_;
    // The file's header, read at each search; opened with the connection.
    QFile header_;
    // The answers of the searches since the file last changed, by address.
    std::optional<SearchStamp> answersStamp_;
    QHash<QByteArray, bool> answers_;
    bool open_ = false;
    PendingEdit* pendingEdit_ = nullptr;
};

} // namespace tarvel
