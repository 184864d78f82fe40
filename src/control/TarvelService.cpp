#include "control/TarvelService.h"

#include "config/Settings.h"
#include "config/SettingsRemarks.h"
#include "control/ErrorReport.h"
#include "control/Errors.h"
#include "control/Front.h"
#include "control/LocalAddresses.h"
#include "control/OperatorLog.h"
#include "data/Reattach.h"

#include <QCoreApplication>
#include <QDir>

#include <exception>

namespace tarvel {

TarvelService::TarvelService(Front& front, QString programFolder, const Clock& clock, QByteArray version,
                             QObject* parent)
    : QObject(parent),
      front_(front),
      programFolder_(std::move(programFolder)),
      clock_(clock),
      version_(std::move(version)),
      pos_(front),
      lookups_(pos_.qryTmp, pos_.qryStockPrice, pos_.qryStoreSHELF, [this] { return pos_.ActivePriceLevel(); },
               [this] { return storeCode_; }, clock_, [this] { front_.showNote(kReattachedNote); }),
      serverSocket_(front, registry_, lookups_, [this] { return vexaXE_; }, this),
      hostName_(LocalHostName),
      addresses_(LocalAddresses)
{
    timer1Start_.setInterval(1000);
    connect(&timer1Start_, &QTimer::timeout, this, &TarvelService::Timer1StartTimer);
}

TarvelService::~TarvelService()
{
    // Terminals first, then the database, as Stop does; no log lines on the way out.
    serverSocket_.Close();
    pos_.ClosePosConnections();
    registry_.Close();
}

QString TarvelService::DefaultProgramFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
}

void TarvelService::setHostLookup(std::function<QByteArray()> hostName, std::function<QList<QByteArray>()> addresses)
{
    hostName_ = std::move(hostName);
    addresses_ = std::move(addresses);
}

void TarvelService::FormCreate()
{
    try {
        createWindowState();
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
    emit stateChanged();
}

void TarvelService::createWindowState()
{
    posSettingsFile_ = std::make_unique<IniFile>(ChoosePosSettingsFile(programFolder_));
    settingsFile_ = std::make_unique<IniFile>(programFolder_ + kSettingsFileName);
    running_ = false;
    if (version_.isEmpty())
        front_.showNotice("SWInformation | No FileVersionInfo found");

    const StoreIdentity store = DeriveStoreIdentity(*posSettingsFile_, programFolder_);
    storeCode_ = store.StoreCode;
    storeName_ = store.StoreName;

    const WindowSettings window = ReadWindowSettings(*settingsFile_);
    autoStart_ = window.AutoStart;
    vexaXE_ = window.VexaXE;
    priceColumn_ = window.PriceColumn;
    addRemarks(creationRemarks_, CreationRemarks(*posSettingsFile_, *settingsFile_, programFolder_));

    registry_.OpenTerminalRegistry(programFolder_, front_);
}

void TarvelService::AddRemark(const Remark& remark)
{
    addRemarks(creationRemarks_, {remark});
    emit stateChanged();
}

void TarvelService::addRemarks(Remarks& kept, const Remarks& added)
{
    for (const Remark& remark : added) {
        kept.append(remark);
        front_.showRemark(remark);
    }
}

void TarvelService::FormShow()
{
    ticks_ = 0;
    timer1Start_.start();
    emit stateChanged();
}

void TarvelService::Timer1StartTimer()
{
    ++ticks_;
    // With auto start off the timer goes on ticking without effect. A Start put off by an open setup
    // dialog runs at the first tick after it closes.
    if (ticks_ >= 2 && autoStart_ && !setupOpen_) {
        timer1Start_.stop();
        Start();
    }
}

bool TarvelService::Start()
{
    // The second tick may come while an operator's Start already runs the service: keep it as it is.
    if (running_)
        return true;
    try {
        startService();
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
    emit stateChanged();
    return running_;
}

void TarvelService::startService()
{
    if (!settingsFile_)
        throw TarvelError("The settings file is not open; the service was not started");
    startRemarks_.clear();
    addRemarks(startRemarks_, StartRemarks(*settingsFile_, programFolder_));
    const ServiceSettings settings = CaptureServiceSettings(*settingsFile_);
    const StartSettings start = ReadStartSettings(*settingsFile_);
    vexaXE_ = start.VexaXE;
    priceColumn_ = start.PriceColumn;
    emit stateChanged();

    if (!pos_.OpenPosConnections(start.DataFileName, vexaXE_, priceColumn_, storeCode_,
                                 ReadDatabaseCredentials(*settingsFile_)))
        return;
    addRemarks(startRemarks_, ServedStoreRemarks(storeCode_, storeName_, vexaXE_, pos_.ActivePriceLevel(),
                                                 pos_.StoreKnown()));
    emit stateChanged();

    // The port's low 16 bits would listen somewhere nobody configured (0: a port of the platform's
    // choosing), so a value out of range stops Start.
    const int port = ReadPort(*settingsFile_);
    if (port < 1 || port > 65535)
        throw TarvelError("TCP_PORT " + std::to_string(port) + " is outside 1 to 65535; the service was not started");
    serverSocket_.setSettings(settings);
    try {
        serverSocket_.Open(static_cast<quint16>(port));
    } catch (const TarvelError& error) {
        // The platform's words do not say which port.
        throw TarvelError(error.what() + ("; port " + std::to_string(port) + " (TCP_PORT in Tarvel.ini)"));
    }

    front_.appendLog(FormatLogLabel("+ ServerSocket started ") + kStatusConnected);
    front_.appendLog(FormatLogLabel("  Server Name : " + hostName_()));
    for (const QByteArray& address : addresses_())
        front_.appendLog(FormatLogLabel("  Server IP   : " + address));
    front_.appendLog(FormatLogLabel("  Port No#    : " + QByteArray::number(port)));
    running_ = true;
}

void TarvelService::Stop()
{
    if (!running_)
        return;
    running_ = false;
    pos_.ClosePosConnections();
    front_.appendLog(FormatLogLabel("- FDB data disconnected") + kStatusDone);
    serverSocket_.Close();
    front_.appendLog(FormatLogLabel("- IdTCPServer stopped ") + kStatusDone);
    emit stateChanged();
}

bool TarvelService::RunSetup(const std::function<void()>& openDialog)
{
    if (running_) {
        front_.appendLog(FormatLogLabel("- Setup [ERROR] ") + kStatusDenied);
        return false;
    }
    setupOpen_ = true;
    try {
        openDialog();
    } catch (...) {
        setupOpen_ = false;
        throw;
    }
    setupOpen_ = false;
    return true;
}

bool TarvelService::CloseRequested()
{
    if (running_) {
        front_.appendLog(FormatLogLabel("- FormClose [ERROR] ") + kStatusDenied);
        return false;
    }
    settingsFile_.reset();
    posSettingsFile_.reset();
    timer1Start_.stop();
    return true;
}

} // namespace tarvel
