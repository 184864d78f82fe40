#pragma once

#include "base/Remark.h"
#include "base/RunContext.h"
#include "data/DatabaseActivity.h"
#include "platform/LocalAddresses.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace tarvel {

class Clock;
class Front;
class IniFile;
class PosConnections;
class PosItemLookups;
class ScanPipeline;
class ScanStatistics;
class ServerSocket;
class StatisticsKeeper;
class StatusServer;
class TerminalRegistry;

// The service's lifecycle without a widget: reading the settings and opening the files, the auto-start
// timer, Start, Stop, Setup and Close. The operator window (from its creation and show events) and the
// headless runner drive it and show its state; every line and box goes through the Front. Event thread only.
class TarvelService : public QObject {
    Q_OBJECT
public:
    // `programFolder` ends with its separator; `host` gives the host's name and addresses for Start's
    // lines; `version` is the version compiled into the program (an empty one stands for an executable
    // without version information). The front and the clock must outlive the service.
    TarvelService(Front& front, QString programFolder, const Clock& clock, HostLookup host = {},
                  QByteArray version = TARVEL_VERSION, QObject* parent = nullptr);
    // As above, with the statistics' time source (milliseconds since the epoch) set by a test.
    TarvelService(Front& front, QString programFolder, const Clock& clock, std::function<qint64()> statisticsNow,
                  HostLookup host = {}, QByteArray version = TARVEL_VERSION, QObject* parent = nullptr);
    ~TarvelService() override;

    // The program folder when none is given, with its trailing separator, in the platform's spelling:
    // the executable's folder, as a build run from its own tree has it; for an executable in one of the
    // system's program folders (/usr/bin and the like), which is no place for settings and a registry, the
    // installed service's folder (/var/lib/tarvel).
    static QString DefaultProgramFolder();
    static QString DefaultProgramFolderFor(const QString& executableFolder);

    // The registry's step of readSettingsAndOpen, and the command line's: the registry's folder, table
    // and index made when missing (failures thrown), then the table opened. A table that cannot be opened is shown in the front's "Error" box
    // and stays closed; this then returns false.
    static bool OpenTerminalRegistry(TerminalRegistry& registry, const QString& programFolder, Front& front);

    // The settings files, the store's code and name, the panel's settings, then the registry, the
    // statistics file and the status endpoint opened; the window does it at its creation, the headless
    // runner before Start. A failure goes to the general error report and skips the remaining steps.
    void readSettingsAndOpen();
    // Starts the auto-start timer with its tick count at zero; the window does it when first shown.
    void armAutoStart();
    // One tick of the auto-start timer: on the second, Start runs once when auto start is on. While the
    // setup dialog is open the automatic Start waits for it to close.
    void autoStartTick();
    // The auto-start timer's interval, 1 s unless the caller sets another (a test's own clock).
    void SetAutoStartTick(std::chrono::milliseconds interval) { autoStartTimer_.setInterval(interval); }

    // Start and Stop, as the buttons do. Start returns whether the service runs afterwards; a Start
    // while it runs does nothing and returns true. Failures are logged and reported, never thrown.
    bool Start();
    void Stop();

    // The Setup button: refused with its log line while running; otherwise runs `openDialog` (modal)
    // and returns true.
    bool RunSetup(const std::function<void()>& openDialog);
    // A close request from any source: refused with its log line while running (false); otherwise
    // releases the settings files and returns true.
    bool CloseRequested();

    // What the window shows.
    bool Running() const { return running_; }
    bool StartEnabled() const { return !running_; }
    bool StopEnabled() const { return running_; }
    bool AutoStart() const { return autoStart_; }
    bool ExtendedLayout() const { return extendedLayout_; }
    const QByteArray& PriceColumn() const { return priceColumn_; }
    const QByteArray& StoreCode() const { return storeCode_; }
    const QByteArray& StoreName() const { return storeName_; }
    // Empty until the first successful Start; kept after Stop and after a failed Start.
    const QByteArray& ActivePriceLevel() const { return activePriceLevel_; }
    bool AutoStartTimerActive() const { return autoStartTimer_.isActive(); }
    quint16 ListeningPort() const;
    const QString& ProgramFolder() const { return programFolder_; }
    // The remarks on the settings and the store (Remark.h): creation's, then the latest Start's.
    Remarks CurrentRemarks() const { return creationRemarks_ + startRemarks_; }
    // A remark of the program's own (which folder it uses): kept with creation's and shown at once.
    void AddRemark(const Remark& remark);

    // The counters and tallies of the scans, for the window's panel.
    ScanStatistics& Statistics();
    // The status endpoint's address, "http://host:port/"; empty while it is off.
    QByteArray StatusUrl() const;
    // Writes the not-found tallies changed since the last write to the statistics file, when it is in
    // use: every minute, at Stop and when the service ends. A failure is said once, as a remark, and
    // the changes wait for the next write.
    void SaveStatistics();

    // The objects the setup dialog works on. SettingsFile is null before creation and after a close.
    IniFile* SettingsFile() { return settingsFile_.get(); }
    TerminalRegistry& Registry() { return *registry_; }
    PosConnections& Pos() { return *pos_; }

signals:
    // Something the window shows has changed: running state, panel settings, status panels.
    void stateChanged();

private:
    void readSettingsAndOpenFiles();
    // Creation's reads of the two settings files; throws the refusal of a file over the limit.
    void readCreationSettings();
    // The last step of creation: the status endpoint opened. A failure is a remark; the service runs.
    void openStatusEndpoint();
    void startService();
    // Appends to `kept` and hands each to the front.
    void addRemarks(Remarks& kept, const Remarks& added);

    Front& front_;
    QString programFolder_;
    const Clock& clock_;
    HostLookup host_;
    QByteArray version_;

    std::unique_ptr<IniFile> posSettingsFile_;
    std::unique_ptr<IniFile> settingsFile_;
    QByteArray storeCode_;
    QByteArray storeName_;
    // Why the store's code could not be read at creation (its settings file was refused); Start
    // refuses to serve a store it does not know.
    std::string storeRefusal_;
    bool autoStart_ = false;
    bool extendedLayout_ = false;
    QByteArray priceColumn_ = "M_PRICE";
    QByteArray activePriceLevel_;
    // The last Start found the store missing from POSSYS.FDB: price level PRCERR.
    bool storeUnknown_ = false;
    bool running_ = false;
    bool setupOpen_ = false;
    int ticks_ = 0;
    Remarks creationRemarks_;
    Remarks startRemarks_;

    // The lookups tell it each call; the status endpoint reads it on its own thread.
    DatabaseActivity database_;
    // Made first: the listener and the lookups report to its statistics.
    std::unique_ptr<StatisticsKeeper> keeper_;
    std::unique_ptr<StatusServer> statusServer_;

    // The run in force: what the pipeline and the lookups read for every scan.
    RunContext run_;
    // The parts, each made by the constructor and kept for the service's life; the later ones use the
    // earlier ones.
    std::unique_ptr<PosConnections> pos_;
    std::unique_ptr<TerminalRegistry> registry_;
    std::unique_ptr<PosItemLookups> lookups_;
    std::unique_ptr<ScanPipeline> pipeline_;
    std::unique_ptr<ServerSocket> serverSocket_;
    QTimer autoStartTimer_;
};

} // namespace tarvel
