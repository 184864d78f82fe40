#pragma once

#include "config/IniFile.h"
#include "config/ServiceSettings.h"
#include "control/Remark.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "lookup/Clock.h"
#include "lookup/PosItemLookups.h"
#include "terminal/ServerSocket.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace tarvel {

class Front;

// The service's lifecycle without a widget: what the main window owns and does at creation, on the
// auto-start timer, at Start, Stop, Setup and Close. The operator window and the headless runner drive
// it and show its state; every line and box goes through the Front. Event thread only.
class TarvelService : public QObject {
    Q_OBJECT
public:
    // `programFolder` ends with its separator; `version` is the version compiled into the program (an
    // empty one stands for an executable without version information).
    TarvelService(Front& front, QString programFolder, const Clock& clock, QByteArray version = TARVEL_VERSION,
                  QObject* parent = nullptr);
    ~TarvelService() override;

    // The executable's folder with its trailing separator, in the platform's spelling.
    static QString DefaultProgramFolder();

    // Window creation: the settings files, the store's code and name, the panel's settings, the
    // registry. A failure goes to the general error report and skips the remaining steps.
    void FormCreate();
    // The window is shown: arms the auto-start timer with its tick count at zero.
    void FormShow();
    // One tick of the auto-start timer: on the second, Start runs once when auto start is on. While the
    // setup dialog is open the automatic Start waits for it to close.
    void Timer1StartTimer();

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
    bool VexaXE() const { return vexaXE_; }
    const QByteArray& PriceColumn() const { return priceColumn_; }
    const QByteArray& StoreCode() const { return storeCode_; }
    const QByteArray& StoreName() const { return storeName_; }
    const QByteArray& ActivePriceLevel() const { return pos_.ActivePriceLevel(); }
    bool AutoStartTimerActive() const { return timer1Start_.isActive(); }
    quint16 ListeningPort() const { return serverSocket_.IsOpen() ? serverSocket_.Port() : 0; }
    const QString& ProgramFolder() const { return programFolder_; }
    // The remarks on the settings and the store (Remark.h): creation's, then the latest Start's.
    Remarks CurrentRemarks() const { return creationRemarks_ + startRemarks_; }
    // A remark of the program's own (which folder it uses): kept with creation's and shown at once.
    void AddRemark(const Remark& remark);

    // The objects the setup dialog works on. SettingsFile is null before creation and after a close.
    IniFile* SettingsFile() { return settingsFile_.get(); }
    TerminalRegistry& Registry() { return registry_; }
    PosConnections& Pos() { return pos_; }
    ServerSocket& Listener() { return serverSocket_; }

    // For tests: the host's name and addresses as Start logs them (the resolver by default).
    void setHostLookup(std::function<QByteArray()> hostName, std::function<QList<QByteArray>()> addresses);

signals:
    // Something the window shows has changed: running state, panel settings, status panels.
    void stateChanged();

private:
    void createWindowState();
    void startService();
    // Appends to `kept` and hands each to the front.
    void addRemarks(Remarks& kept, const Remarks& added);

    Front& front_;
    QString programFolder_;
    const Clock& clock_;
    QByteArray version_;

    std::unique_ptr<IniFile> posSettingsFile_;
    std::unique_ptr<IniFile> settingsFile_;
    QByteArray storeCode_;
    QByteArray storeName_;
    bool autoStart_ = false;
    bool vexaXE_ = false;
    QByteArray priceColumn_ = "M_PRICE";
    bool running_ = false;
    bool setupOpen_ = false;
    int ticks_ = 0;
    Remarks creationRemarks_;
    Remarks startRemarks_;

    PosConnections pos_;
    TerminalRegistry registry_;
    PosItemLookups lookups_;
    ServerSocket serverSocket_;
    QTimer timer1Start_;
    std::function<QByteArray()> hostName_;
    std::function<QList<QByteArray>()> addresses_;
};

} // namespace tarvel
