#include "control/TarvelService.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "base/Front.h"
#include "base/OperatorLog.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/SettingsRemarks.h"
#include "control/DatabaseHints.h"
#include "data/EDatabaseError.h"
#include "data/PosConnections.h"
#include "data/Reattach.h"
#include "data/TerminalRegistry.h"
#include "lookup/PosItemLookups.h"
#include "platform/Files.h"
#include "platform/LocalAddresses.h"
#include "status/ScanStatistics.h"
#include "status/StatisticsKeeper.h"
#include "status/StatusServer.h"
#include "terminal/ScanPipeline.h"
#include "terminal/ServerSocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <exception>

namespace tarvel {

TarvelService::TarvelService(Front& front, QString programFolder, const Clock& clock, HostLookup host,
                             QByteArray version, QObject* parent)
    : TarvelService(front, std::move(programFolder), clock, {}, std::move(host), std::move(version), parent)
{
}

TarvelService::TarvelService(Front& front, QString programFolder, const Clock& clock,
                             std::function<qint64()> statisticsNow, HostLookup host, QByteArray version,
                             QObject* parent)
    : QObject(parent),
      front_(front),
      programFolder_(std::move(programFolder)),
      clock_(clock),
      host_(std::move(host)),
      version_(std::move(version)),
      keeper_(std::make_unique<StatisticsKeeper>(programFolder_, std::move(statisticsNow))),
      pos_(std::make_unique<PosConnections>()),
      registry_(std::make_unique<TerminalRegistry>()),
      lookups_(std::make_unique<PosItemLookups>(
          pos_->qryTmp(), pos_->qryStockPrice(), pos_->qryStoreSHELF(), clock_,
          [this] {
              keeper_->Statistics().reattached();
              front_.showNote(kReattachedNote);
          },
          &database_)),
      pipeline_(std::make_unique<ScanPipeline>(front, *registry_, *lookups_, run_)),
      serverSocket_(std::make_unique<ServerSocket>(front, *pipeline_))
{
    serverSocket_->setObserver(&keeper_->Statistics());
    pos_->coDataDb().setOutageEnded([this] { front_.showNote(kAnswersAgainNote); });
    autoStartTimer_.setInterval(1000);
    connect(&autoStartTimer_, &QTimer::timeout, this, &TarvelService::autoStartTick);
    connect(keeper_.get(), &StatisticsKeeper::saveFailed, this, [this](const Remark& warning) {
        addRemarks(creationRemarks_, {warning});
        emit stateChanged();
    });
}

TarvelService::~TarvelService()
{
    // Terminals first, then the database, as Stop does; no log lines on the way out.
    statusServer_.reset();
    serverSocket_->Close();
    serverSocket_->setObserver(nullptr);
    pos_->ClosePosConnections();
    registry_->Close();
    SaveStatistics();
    keeper_->Close();
}

QString TarvelService::DefaultProgramFolder()
{
    return DefaultProgramFolderFor(QCoreApplication::applicationDirPath());
}

QString TarvelService::DefaultProgramFolderFor(const QString& executableFolder)
{
    const QString folder = IsSystemProgramFolder(executableFolder, QStringLiteral(TARVEL_INSTALLED_BIN_DIR))
                             ? QStringLiteral(TARVEL_INSTALLED_PROGRAM_FOLDER)
                             : executableFolder;
    QString native = QDir::toNativeSeparators(folder);
    if (!native.endsWith(QDir::separator()))
        native += QDir::separator();
    return native;
}

quint16 TarvelService::ListeningPort() const { return serverSocket_->IsOpen() ? serverSocket_->Port() : 0; }

void TarvelService::readSettingsAndOpen()
{
    try {
        readSettingsAndOpenFiles();
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
    emit stateChanged();
}

void TarvelService::readSettingsAndOpenFiles()
{
    posSettingsFile_ = std::make_unique<IniFile>(ChoosePosSettingsFile(programFolder_));
    settingsFile_ = std::make_unique<IniFile>(programFolder_ + kSettingsFileName);
    running_ = false;
    if (version_.isEmpty())
        front_.showNoticeBox("SWInformation | No FileVersionInfo found");

    // A settings file refused (over kSettingsFileLimit) is told as any error of creation, and creation
    // goes on: the registry and the statistics open all the same, and nothing is written to the file.
    bool settingsRead = true;
    storeRefusal_ = "The settings were not read";
    try {
        readCreationSettings();
    } catch (const TarvelError& refusal) {
        settingsRead = false;
        if (!storeRefusal_.empty())
            storeRefusal_ = refusal.what();
        ReportErrorNow(front_, refusal.what());
    }

    OpenTerminalRegistry(*registry_, programFolder_, front_);
    if (const std::optional<Remark> warning = keeper_->Open())
        addRemarks(creationRemarks_, {*warning});
    if (settingsRead)
        openStatusEndpoint();
}

void TarvelService::readCreationSettings()
{
    const StoreIdentity store = DeriveStoreIdentity(*posSettingsFile_, programFolder_);
    storeCode_ = store.StoreCode;
    storeName_ = store.StoreName;
    storeRefusal_.clear();

    const WindowSettings window = ReadWindowSettings(*settingsFile_);
    autoStart_ = window.AutoStart;
    extendedLayout_ = window.ExtendedLayout;
    priceColumn_ = window.PriceColumn;
    addRemarks(creationRemarks_, CreationRemarks(*posSettingsFile_, *settingsFile_, programFolder_));
}

void TarvelService::openStatusEndpoint()
{
    const StatusSettings settings = ReadStatusSettings(*settingsFile_);
    if (!settings.Problem.isEmpty())
        addRemarks(creationRemarks_, {{Remark::Kind::Warning, settings.Problem}});
    if (!settings.On || statusServer_)
        return;
    auto server = std::make_unique<StatusServer>(
        keeper_->Statistics(),
        [this] {
            StatusFacts facts;
            facts.running = running_;
            facts.storeCode = storeCode_;
            facts.storeName = storeName_;
            facts.extendedLayout = extendedLayout_;
            facts.priceLevel = activePriceLevel_;
            facts.storeUnknown = storeUnknown_;
            facts.version = version_;
            try {
                if (registry_->IsOpen())
                    facts.registered = registry_->Addresses();
            } catch (const std::exception&) {
                // The page goes without the registered terminals that never came.
            }
            return facts;
        },
        &database_);
    try {
        server->Open(QHostAddress(QString::fromLatin1(settings.Address)), settings.Port);
    } catch (const TarvelError& error) {
        addRemarks(creationRemarks_,
                   {{Remark::Kind::Warning,
                     "the status page cannot listen: " + QByteArray(error.what()) + " (STATUS_SETUP in Tarvel.ini)"}});
        return;
    }
    statusServer_ = std::move(server);
    // What the page says of the service changes with its state.
    connect(this, &TarvelService::stateChanged, statusServer_.get(), &StatusServer::Publish);
    addRemarks(creationRemarks_, {{Remark::Kind::Info, "status page at " + statusServer_->Url()}});
}

QByteArray TarvelService::StatusUrl() const { return statusServer_ ? statusServer_->Url() : QByteArray(); }

ScanStatistics& TarvelService::Statistics() { return keeper_->Statistics(); }

void TarvelService::SaveStatistics()
{
    if (const std::optional<Remark> warning = keeper_->Save()) {
        addRemarks(creationRemarks_, {*warning});
        emit stateChanged();
    }
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

bool TarvelService::OpenTerminalRegistry(TerminalRegistry& registry, const QString& programFolder, Front& front)
{
    registry.CreateTerminalRegistry(programFolder);
    // A table that cannot be opened is shown in the "Error" box and stays closed; creation goes on.
    try {
        registry.OpenTerminalRegistry(programFolder);
    } catch (const EDatabaseError& error) {
        front.showErrorBox(error.what());
        return false;
    }
    return true;
}

void TarvelService::armAutoStart()
{
    ticks_ = 0;
    autoStartTimer_.start();
    emit stateChanged();
}

void TarvelService::autoStartTick()
{
    ++ticks_;
    // With auto start off the timer goes on ticking without effect. A Start put off by an open setup
    // dialog runs at the first tick after it closes.
    if (ticks_ >= 2 && autoStart_ && !setupOpen_) {
        autoStartTimer_.stop();
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
    if (!storeRefusal_.empty())
        throw TarvelError(storeRefusal_ + "; the service was not started");
    startRemarks_.clear();
    // A file over the limit is refused before anything is said of what it holds.
    ReadSettingsBytes(settingsFile_->FileName());
    addRemarks(startRemarks_, StartRemarks(*settingsFile_, programFolder_));
    RunContext run;
    run.Settings = CaptureServiceSettings(*settingsFile_);
    const StartSettings start = ReadStartSettings(*settingsFile_);
    extendedLayout_ = start.ExtendedLayout;
    priceColumn_ = start.PriceColumn;
    emit stateChanged();

    // The database step is guarded: its failure is logged and shown in the "Error" box, and ends Start.
    const DatabaseCredentials credentials = ReadDatabaseCredentials(*settingsFile_);
    pos_->SetQueryTimeout(start.QueryTimeout);
    database_.setDeadlineSeconds(start.QueryTimeout);
    keeper_->Statistics().setQueryDeadline(start.QueryTimeout);
    bool reattached = false;
    try {
        activePriceLevel_ = pos_->OpenPosConnections(start.DataFileName, start.ExtendedLayout, start.PriceColumn,
                                                     storeCode_, credentials, [&reattached] { reattached = true; });
    } catch (const EDatabaseError& error) {
        front_.appendLog(FormatLogLabel("- FDB data connection") + kStatusError);
        front_.showErrorBox(ExplainDatabaseError(error.what(), credentials, start.DataFileName));
        return;
    }
    front_.appendLog(FormatLogLabel("+ FDB data connected") + kStatusConnected);
    storeUnknown_ = !start.ExtendedLayout && !pos_->StoreKnown();
    if (reattached) {
        keeper_->Statistics().reattached();
        front_.showNote(kReattachedNote);
    }
    addRemarks(startRemarks_,
               ServedStoreRemarks(storeCode_, storeName_, start.ExtendedLayout, activePriceLevel_, pos_->StoreKnown()));
    emit stateChanged();
    run.ExtendedLayout = start.ExtendedLayout;
    run.ActivePriceLevel = activePriceLevel_;
    run.StoreCode = storeCode_;

    // The port's low 16 bits would listen somewhere nobody configured (0: a port of the platform's
    // choosing), so a value out of range stops Start.
    const int port = ReadPort(*settingsFile_);
    if (port < 1 || port > 65535)
        throw TarvelError("TCP_PORT " + std::to_string(port) + " is outside 1 to 65535; the service was not started");
    run_ = run;
    // The terminals come first: a status page that took their port since (TCP_PORT saved anew) gives
    // it up, as the settings reader refuses the page such a port.
    if (statusServer_ && statusServer_->Port() == port) {
        statusServer_.reset();
        addRemarks(startRemarks_, {{Remark::Kind::Warning, StatusPortTakenText(static_cast<quint16>(port))}});
    }
    try {
        serverSocket_->Open(static_cast<quint16>(port));
    } catch (const TarvelError& error) {
        // The platform's words do not say which port.
        throw TarvelError(error.what() + ("; port " + std::to_string(port) + " (TCP_PORT in Tarvel.ini)"));
    }

    front_.appendLog(FormatLogLabel("+ ServerSocket started ") + kStatusConnected);
    front_.appendLog(FormatLogLabel("  Server Name : " + host_.Name()));
    for (const QByteArray& address : host_.Addresses())
        front_.appendLog(FormatLogLabel("  Server IP   : " + address));
    front_.appendLog(FormatLogLabel("  Port No#    : " + QByteArray::number(port)));
    running_ = true;
    keeper_->Statistics().serviceStarted();
}

void TarvelService::Stop()
{
    if (!running_)
        return;
    running_ = false;
    pos_->ClosePosConnections();
    front_.appendLog(FormatLogLabel("- FDB data disconnected") + kStatusDone);
    serverSocket_->Close();
    front_.appendLog(FormatLogLabel("- IdTCPServer stopped ") + kStatusDone);
    keeper_->Statistics().serviceStopped();
    SaveStatistics();
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
    autoStartTimer_.stop();
    return true;
}

} // namespace tarvel
