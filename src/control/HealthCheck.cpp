#include "control/HealthCheck.h"

#include "base/Errors.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/SettingsRemarks.h"
#include "control/CommandLine.h"
#include "control/DatabaseHints.h"
#include "control/HeadlessFront.h"
#include "control/TarvelService.h"
#include "data/ConnectionLimits.h"
#include "data/EDatabaseError.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "lookup/PosItemLookups.h"
#include "platform/Sockets.h"
#include "status/StatusServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace tarvel {

namespace {

using Outcome = CheckLine::Outcome;

constexpr char kNoStoreFile[] = "the Vexa XE layout reads no POSSYS.FDB";

// The database's steps in the order they are taken, as PosCheckStep counts them, then the probe.
constexpr const char* kDatabaseStep[] = {"data file", "store file", "price level", "scan queries"};
constexpr int kDatabaseSteps = 4;

// "barcode, item and price queries of the standard layout run (a code no item carries)".
QByteArray ProbeText(const LookupProbe& probe, bool extendedLayout)
{
    QByteArray list;
    for (qsizetype i = 0; i < probe.queries.size(); ++i)
        list += (i == 0 ? "" : i + 1 == probe.queries.size() ? " and " : ", ") + probe.queries[i];
    return list + " queries of the " + (extendedLayout ? "Vexa XE" : "standard")
         + " layout run (a code no item carries)";
}

QByteArray PathText(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)); }

// Firebird's messages run over several lines: "Cannot open ...:\n<first>\n-<detail>" reads as
// "Cannot open ...: <first>; <detail>".
QByteArray Folded(QByteArray message)
{
    message.replace(":\n", ": ");
    message.replace("\n-", "; ");
    return OneLine(message);
}

Outcome OutcomeOf(const Remark& remark)
{
    switch (remark.kind) {
    case Remark::Kind::Error:
        return Outcome::Failed;
    case Remark::Kind::Warning:
        return Outcome::Warning;
    default:
        return Outcome::Ok;
    }
}

class Checker {
public:
    Checker(const QString& programFolder, const HostLookup& host) : folder_(programFolder), host_(host) {}

    CheckReport run()
    {
        const IniFile posSettingsFile(ChoosePosSettingsFile(folder_));
        const IniFile settingsFile(folder_ + QLatin1String(kSettingsFileName));
        // A settings file over the limit is read by no step: Start would refuse it the same way.
        bool refused = false;
        for (const IniFile* file : {&posSettingsFile, &settingsFile}) {
            try {
                ReadSettingsBytes(file->FileName());
            } catch (const TarvelError& refusal) {
                add(Outcome::Failed, "settings", refusal.what());
                refused = true;
            }
        }
        if (refused) {
            checkRegistry();
            return report_;
        }
        const StartSettings start = ReadStartSettings(settingsFile);
        checkSettings(posSettingsFile, settingsFile, start);
        const StoreIdentity store = DeriveStoreIdentity(posSettingsFile, folder_);
        add(Outcome::Ok, "store",
            store.StoreCode + " \"" + store.StoreName + "\" from "
                + (QFileInfo(posSettingsFile.FileName()).isFile() ? PathText(posSettingsFile.FileName())
                                                                  : QByteArray("the defaults")));
        checkDatabase(posSettingsFile, settingsFile, start, store);
        checkRegistry();
        checkPort(ReadPort(settingsFile));
        checkStatusPage(ReadStatusSettings(settingsFile));
        return report_;
    }

private:
    void add(Outcome outcome, const QByteArray& step, const QByteArray& text)
    {
        report_.lines.append({outcome, step, OneLine(text)});
    }

    void checkSettings(const IniFile& posSettingsFile, const IniFile& settingsFile, const StartSettings& start)
    {
        if (QFileInfo(settingsFile.FileName()).isFile()) {
            const QByteArray layout = start.ExtendedLayout ? "Vexa XE layout at price column " + start.PriceColumn
                                                           : QByteArray("standard layout");
            add(Outcome::Ok, "settings",
                PathText(settingsFile.FileName()) + ": TCP_PORT " + QByteArray::number(ReadPort(settingsFile)) + ", "
                    + layout + ", data file " + start.DataFileName);
        }
        // A missing Tarvel.ini is the first of Start's remarks, and the only one then.
        const Remarks remarks =
            CreationRemarks(posSettingsFile, settingsFile, folder_) + StartRemarks(settingsFile, folder_);
        for (const Remark& remark : remarks)
            add(OutcomeOf(remark), "settings", remark.text);
    }

    void checkDatabase(const IniFile& posSettingsFile, const IniFile& settingsFile, const StartSettings& start,
                       const StoreIdentity& store)
    {
        const DatabaseCredentials credentials = ReadDatabaseCredentials(settingsFile);
        try {
            CheckConnectionLimits(credentials);
            add(Outcome::Ok, "database user",
                credentials.User ? '"' + *credentials.User + "\" (FDB_USER)"
                                 : QByteArray("SYSDBA (the fixed default)"));
        } catch (const EDatabaseError& refusal) {
            add(Outcome::Failed, "database user", refusal.what());
            skipDatabase(start.ExtendedLayout, "the database user is refused");
            return;
        }
        if (start.DataFileName.isEmpty()) {
            skipDatabase(start.ExtendedLayout, "no data file is set (FDB_DATA_FILENAME)");
            return;
        }

        PosConnections pos;
        pos.SetQueryTimeout(start.QueryTimeout);
        const QByteArray storeFile = PosConnections::StoreFilePath(start.DataFileName);
        // The step under way: the one that failed when an error comes.
        int step = 0;
        const auto passed = [&](PosCheckStep done) {
            if (done == PosCheckStep::DataFile)
                add(Outcome::Ok, "data file", "opened " + start.DataFileName);
            else if (done == PosCheckStep::StoreFile)
                add(Outcome::Ok, "store file", "opened " + storeFile);
            step = static_cast<int>(done) + 1;
        };
        const auto probe = [&](const QByteArray& level) {
            if (start.ExtendedLayout)
                add(Outcome::Skipped, "store file", kNoStoreFile);
            checkServedStore(posSettingsFile, store, start.ExtendedLayout, level, pos.StoreKnown());
            step = kDatabaseSteps - 1;
            const LookupProbe ran = ProbeScanQueries(pos, CaptureServiceSettings(settingsFile), start.ExtendedLayout,
                                                     level, store.StoreCode);
            add(Outcome::Ok, "scan queries", ProbeText(ran, start.ExtendedLayout));
            for (const Remark& remark : ran.warnings)
                add(OutcomeOf(remark), "scan queries", remark.text);
        };
        try {
            pos.CheckPosConnections(start.DataFileName, start.ExtendedLayout, start.PriceColumn, store.StoreCode,
                                    credentials, passed, probe);
        } catch (const std::exception& error) {
            add(Outcome::Failed, kDatabaseStep[step],
                Folded(ExplainDatabaseError(error.what(), credentials, start.DataFileName)));
            for (int later = step + 1; later < kDatabaseSteps; ++later)
                add(Outcome::Skipped, kDatabaseStep[later],
                    later == 1 && start.ExtendedLayout ? QByteArray(kNoStoreFile)
                                                       : kDatabaseStep[step] + QByteArray(" failed"));
        }
    }

    // A store POSSYS.FDB does not know is served at price level PRCERR, every price 0.00: Start goes
    // on, but that is no service a store can run.
    void checkServedStore(const IniFile& posSettingsFile, const StoreIdentity& store, bool extendedLayout,
                          const QByteArray& level, bool storeKnown)
    {
        if (!extendedLayout && !storeKnown) {
            add(Outcome::Failed, "price level",
                "store " + store.StoreCode + " (" + StoreCodeSource(posSettingsFile, folder_)
                    + ") is not in Mas_Store of POSSYS.FDB: Start would serve price level " + level
                    + ", every price 0.00");
            return;
        }
        for (const Remark& remark : ServedStoreRemarks(store.StoreCode, store.StoreName, extendedLayout, level, true))
            add(OutcomeOf(remark), "price level", remark.text);
    }

    void skipDatabase(bool extendedLayout, const QByteArray& why)
    {
        for (int step = 0; step < kDatabaseSteps; ++step)
            add(Outcome::Skipped, kDatabaseStep[step], step == 1 && extendedLayout ? QByteArray(kNoStoreFile) : why);
    }

    void checkRegistry()
    {
        const QString file = TerminalRegistry::FileOf(folder_);
        if (!QFileInfo::exists(file)) {
            // Window creation makes it; say whether it can.
            QString existing = TerminalRegistry::FolderOf(folder_);
            while (!QFileInfo::exists(existing) && QFileInfo(existing).dir().path() != existing)
                existing = QFileInfo(existing).dir().path();
            if (!QFileInfo(existing).isDir() || !QFileInfo(existing).isWritable()) {
                add(Outcome::Failed, "terminals",
                    "no registry " + PathText(file) + ", and " + PathText(existing)
                        + " does not let this user make it (the service's user must own the program folder)");
                return;
            }
            add(Outcome::Warning, "terminals",
                "no registry yet: " + PathText(file)
                    + " is made at the first start; until an address is registered (tarvel --register ADDRESS) "
                      "every terminal gets the not-found screen");
            return;
        }
        TerminalRegistry registry;
        try {
            registry.OpenTerminalRegistry(folder_, TerminalRegistry::Access::ReadOnly);
            const qsizetype count = registry.Addresses().size();
            if (count == 0)
                add(Outcome::Warning, "terminals",
                    "none registered in " + PathText(file)
                        + ": every terminal gets the not-found screen (tarvel --register ADDRESS)");
            else
                add(Outcome::Ok, "terminals",
                    QByteArray::number(count) + (count == 1 ? " address" : " addresses") + " registered in "
                        + PathText(file));
        } catch (const std::exception& error) {
            add(Outcome::Failed, "terminals", error.what());
        }
    }

    void checkPort(int port)
    {
        const QByteArray name = QByteArray::number(port) + " (TCP_PORT)";
        if (port < 1 || port > 65535) {
            add(Outcome::Failed, "port", name + " is outside 1 to 65535");
            return;
        }
        try {
            ListeningSocket socket;
            socket.Bind(static_cast<quint16>(port));
            socket.Listen();
        } catch (const TarvelError& error) {
            add(Outcome::Failed, "port", name + " cannot be listened on: " + error.what());
            return;
        }
        QByteArray where;
        for (const QByteArray& address : host_.Addresses())
            where += (where.isEmpty() ? "; terminals connect to " : ", ") + address + ':' + QByteArray::number(port);
        add(Outcome::Ok, "port", name + " is free" + where);
    }

    // Only where [STATUS_SETUP] asks for the page; the service starts without it, so nothing here fails.
    void checkStatusPage(const StatusSettings& settings)
    {
        if (!settings.Problem.isEmpty()) {
            add(Outcome::Warning, "status page", settings.Problem);
            return;
        }
        if (!settings.On)
            return;
        const QHostAddress address(QString::fromLatin1(settings.Address));
        const QByteArray url = StatusUrl(address, settings.Port) + " (HTTP_PORT)";
        QTcpServer socket;
        if (!socket.listen(address, settings.Port)) {
            add(Outcome::Warning, "status page",
                url + " cannot be listened on: " + socket.errorString().toUtf8() + "; the service starts without it");
            return;
        }
        add(Outcome::Ok, "status page", url + " is free");
    }

    QString folder_;
    const HostLookup& host_;
    CheckReport report_;
};

} // namespace

QList<QByteArray> CheckReport::FailedSteps() const
{
    QList<QByteArray> steps;
    for (const CheckLine& line : lines)
        if (line.outcome == Outcome::Failed && !steps.contains(line.step))
            steps.append(line.step);
    return steps;
}

CheckReport CheckSetup(const QString& programFolder, const HostLookup& host)
{
    return Checker(programFolder, host).run();
}

QByteArray CheckLineText(const CheckLine& line)
{
    static const char* const outcomes[] = {"ok", "warning", "FAILED", "skipped"};
    return QByteArray(outcomes[static_cast<int>(line.outcome)]).leftJustified(8) + line.step.leftJustified(14)
         + line.text;
}

QByteArray CheckSummary(const CheckReport& report)
{
    const QList<QByteArray> failed = report.FailedSteps();
    if (failed.isEmpty())
        return "check passed: Start would succeed";
    return "check FAILED at " + failed.join(", ") + ": Start would not succeed";
}

int RunCheck(int argc, char** argv, const QString& folder)
{
    QCoreApplication app(argc, argv);
    const QString programFolder = folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder;
    if (folder.isEmpty())
        HeadlessFront().showRemark(DefaultProgramFolderRemark(programFolder));
    const CheckReport report = CheckSetup(programFolder);
    // Under systemd (ExecStartPre) the journal reads the report: a FAILED line is filed as an error.
    static const Priority priorities[] = {Priority::Info, Priority::Warning, Priority::Error, Priority::Info};
    QByteArray text;
    for (const CheckLine& line : report.lines)
        text += PriorityPrefix(stdout, priorities[static_cast<int>(line.outcome)]) + CheckLineText(line) + '\n';
    text += PriorityPrefix(stdout, report.Passed() ? Priority::Info : Priority::Error) + CheckSummary(report) + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
    return report.Passed() ? 0 : 1;
}

} // namespace tarvel
