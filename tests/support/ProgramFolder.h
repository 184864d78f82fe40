#pragma once

// A program folder for a service under test: a fresh temporary folder holding "Tarvel.ini" and
// "Register.ini" as a store would have them, with a standard-layout POS database (DATA.FDB and
// POSSYS.FDB from the fixture scripts) in a folder of its own.
//
//   ProgramFolder folder;
//   folder.writeSettings(folder.settingsFor(folder.dataPath(), port));   // or any text of your own
//   folder.writeStore("S01", "QUILLPOST MART KLANG");
//   folder.makeStore(port)          // all three at once: the database, its settings, store S01
//
// TillHost() is the host a service under test runs on, StartLines(port) and StopLines() what its
// Start and Stop log there.

#include "platform/LocalAddresses.h"
#include "support/FirebirdFixture.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace tarvel {

class ProgramFolder {
public:
    ProgramFolder();

    // The folder with its trailing separator, as ProgramFolder is given to the service.
    QString path() const;

    // Makes DATA.FDB and POSSYS.FDB; returns an empty text or the script's complaint.
    QByteArray makeDatabase();
    // The database, "Tarvel.ini" for it on `port` (embedded, or over the suite's server) with
    // `otherSetup`, and store S01; an empty text or the script's complaint.
    QByteArray makeStore(quint16 port, bool overServer = false, const QByteArray& otherSetup = {});
    // The data file for embedded access (a plain path) and over the server on localhost.
    QByteArray dataPath() const { return db_.path("DATA.FDB"); }
    QByteArray dataServerPath() const { return db_.serverPath("DATA.FDB"); }

    // A whole "Tarvel.ini" for the data file and port; `otherSetup` lines go into OTHER_SETUP. The
    // standard layout, or with `xePrice` the Vexa XE layout at that price column.
    static QByteArray settingsFor(const QByteArray& dataFile, int port, const QByteArray& otherSetup = {},
                                  const QByteArray& xePrice = {});
    void writeSettings(const QByteArray& text) const;
    void writeStore(const QByteArray& code, const QByteArray& name) const;
    QByteArray readSettings() const;

    // A TCP port nobody listens on at the moment of the call.
    static quint16 FreePort();

private:
    QTemporaryDir dir_;
    FirebirdFixture db_;
};

HostLookup TillHost();
std::vector<QByteArray> StartLines(quint16 port);
std::vector<QByteArray> StopLines();

} // namespace tarvel
