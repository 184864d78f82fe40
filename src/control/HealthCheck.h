#pragma once

#include "platform/LocalAddresses.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvel {

// One line of the setup check: a step, how it went and what it found, on one line.
struct CheckLine {
    enum class Outcome { Ok, Warning, Failed, Skipped };
    Outcome outcome = Outcome::Ok;
    QByteArray step; // "settings", "store", "database user", "data file", "store file", "price level",
        // "scan queries", "terminals", "port" or "status page"
    QByteArray text;
};

struct CheckReport {
    QList<CheckLine> lines;
    // The steps that failed, each once, in order; none when Start would succeed.
    QList<QByteArray> FailedSteps() const;
    bool Passed() const { return FailedSteps().isEmpty(); }
};

// What the service would meet in `programFolder` (with its trailing separator), in the order window
// creation and Start meet it: the settings files and the store, the database user's limit, the data
// file, the store-system file and the price level (opened as Start opens them, then closed; a store
// POSSYS.FDB does not know fails), every query a scan of the layout runs (PosItemLookups::Probe), the
// terminal registry, the port (bound and listened on, then closed at once) and the status page's port
// where [STATUS_SETUP] sets one. Creates and writes nothing: the registry is opened read only and a
// missing one is only said. Never throws; a step that needs a failed one is skipped. Event thread only
// (it opens Firebird attachments and sockets).
CheckReport CheckSetup(const QString& programFolder, const HostLookup& host = {});

// "ok      data file     opened localhost:/var/pos/DATA.FDB", without line end.
QByteArray CheckLineText(const CheckLine& line);
// The last line: "check passed: Start would succeed", or "check FAILED at data file, port: ...".
QByteArray CheckSummary(const CheckReport& report);

// `tarvel --check`: prints each line and the summary on standard output; 0 when Start would succeed,
// 1 otherwise. `folder` empty: the executable's folder, said on standard error.
int RunCheck(int argc, char** argv, const QString& folder);

} // namespace tarvel
