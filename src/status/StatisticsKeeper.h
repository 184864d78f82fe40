#pragma once

#include "base/Remark.h"
#include "status/ScanStatistics.h"
#include "status/StatsFile.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace tarvel {

// The statistics of the service's life and the file that keeps their not-found tallies across
// restarts: the tallies read in at Open, what changed written once a minute (on the event thread
// between two events, never inside a scan) and at Save. Neither stops the service: a file that cannot
// be read or written becomes a remark, and counting goes on in memory. Event thread only.
class StatisticsKeeper : public QObject {
    Q_OBJECT
public:
    // `programFolder` ends with its separator; the file is StatsFile::FileOf it. `now` is the
    // statistics' time source (milliseconds since the epoch), set by tests.
    explicit StatisticsKeeper(QString programFolder, ScanStatistics::Now now = {}, QObject* parent = nullptr);

    ScanStatistics& Statistics() { return statistics_; }

    // Opens the file and reads its tallies in, then writes once a minute; nothing when it is open. A
    // file that cannot be read is left as it is, never overwritten: the warning to show comes back.
    std::optional<Remark> Open();
    // Writes the tallies changed since the last write, when the file is open. A failure comes back the
    // first time only, until a write succeeds again; the changes wait for the next write.
    std::optional<Remark> Save();
    void Close() { file_.Close(); }

signals:
    // The minute's write failed, for the first time since the last that did not: `warning` says why.
    void saveFailed(const Remark& warning);

private:
    QString programFolder_;
    ScanStatistics statistics_;
    StatsFile file_;
    bool writeFailed_ = false;
    QTimer timer_;
};

} // namespace tarvel
