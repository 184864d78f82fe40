#pragma once

#include "data/RegistryDataset.h"
#include "data/RegistrySearch.h"

#include <QList>
#include <QSqlQuery>
#include <QString>

namespace tarvel {

class Front;

// The registry of terminal addresses (tblTarvel): the SQLite file "Tarvel.Db" in ProgramFolder's
// Log/TarvelDb folder, table Tarvel (ID, ADDRESS) with the index ByName on ADDRESS. Staff manage the
// same file with the sqlite3 command, so those names stay as they are.
// Each instance has its own QtSql connection; several may exist at once.
class TerminalRegistry : public RegistrySearch {
public:
    TerminalRegistry();
    ~TerminalRegistry() override;
    TerminalRegistry(const TerminalRegistry&) = delete;
    TerminalRegistry& operator=(const TerminalRegistry&) = delete;

    // ProgramFolder (with its trailing separator) + "Log" + separator + "TarvelDb", platform separators.
    static QString FolderOf(const QString& programFolder);
    static QString FileOf(const QString& programFolder);  // FolderOf + "Tarvel.Db"

    // The last step of the main window's creation. Creates the folder when missing (TarvelError
    // "Cannot create " + path when it cannot), the table and its index when the file is missing
    // (EDatabaseError when a statement fails; the half-made file is removed), then opens the table.
    // A table that cannot be opened (not a database, no table Tarvel) is reported in the front's
    // "Error" box and stays closed; this then returns normally and the file is left untouched.
    void OpenTerminalRegistry(const QString& programFolder, Front& front);

    bool IsOpen() const { return dataset_.IsOpen(); }

    // True when a row's ADDRESS equals `address` whole, byte for byte; that row becomes current.
    // Ends a pending edit of the dataset first (posted when changed, cancelled otherwise).
    // Throws EDatabaseError while the table is closed or when the engine fails.
    bool Locate(const QByteArray& address) override;

    // For the command line. Register adds a row through the dataset, with Post's checks (TarvelError
    // for an empty or non-IPv4 address, nothing stored then). Unregister deletes every row whose
    // ADDRESS equals `address` exactly and says how many. Addresses lists the rows in key order as the
    // dataset shows them (a pending edit's text included).
    // All throw EDatabaseError while the table is closed.
    void Register(const QByteArray& address);
    int Unregister(const QByteArray& address);
    QList<QByteArray> Addresses() const;

    // The data set of the setup dialog's grid and navigator (dsTarvel).
    RegistryDataset& Dataset() { return dataset_; }

    // Drops a pending edit, unposted, and closes the table.
    void Close();

private:
    QSqlDatabase openConnection(const QString& file, const char* mode);
    void createTable(const QString& file);
    void openTable(const QString& file);

    QString connectionName_;
    RegistryDataset dataset_;
    QSqlQuery locate_;
};

} // namespace tarvel
