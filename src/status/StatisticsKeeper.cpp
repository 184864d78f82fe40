#include "status/StatisticsKeeper.h"

#include <QFile>

#include <exception>

namespace tarvel {

StatisticsKeeper::StatisticsKeeper(QString programFolder, ScanStatistics::Now now, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)), statistics_(std::move(now))
{
    timer_.setInterval(60 * 1000);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (const std::optional<Remark> warning = Save())
            emit saveFailed(*warning);
    });
}

std::optional<Remark> StatisticsKeeper::Open()
{
    if (file_.IsOpen())
        return std::nullopt;
    try {
        file_.Open(StatsFile::FileOf(programFolder_), false);
        statistics_.loadDays(file_.ReadDays(statistics_.oldestDayKept(), statistics_.day()));
    } catch (const std::exception& error) {
        // A file that cannot be read is left as it is, never overwritten.
        file_.Close();
        return Remark{Remark::Kind::Warning,
                      QByteArray(error.what()) + "; the codes not found are counted, but not kept across a restart"};
    }
    timer_.start();
    return std::nullopt;
}

std::optional<Remark> StatisticsKeeper::Save()
{
    if (!file_.IsOpen() || !statistics_.hasUnsavedChanges())
        return std::nullopt;
    QByteArray failure;
    try {
        const StatsFile::WriteResult written = file_.Write(statistics_.unsavedChanges(), statistics_.oldestDayKept());
        // The rows the file refused would be refused again: they are said, and the others kept.
        statistics_.markSaved();
        if (written.refused > 0)
            failure = "The statistics file " + QFile::encodeName(StatsFile::FileOf(programFolder_)) + " refused "
                    + QByteArray::number(written.refused) + " of the not-found tallies (" + written.firstRefusal
                    + "); the others were written";
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (failure.isEmpty()) {
        writeFailed_ = false;
        return std::nullopt;
    }
    if (writeFailed_)
        return std::nullopt;
    writeFailed_ = true;
    return Remark{Remark::Kind::Warning, failure};
}

} // namespace tarvel
