#include "data/PosConnections.h"

#include "base/ByteText.h"
#include "data/ConnectionLimits.h"
#include "data/EDatabaseError.h"
#include "data/Reattach.h"

#include <algorithm>

namespace tarvel {

PosConnections::PosConnections() { SetQueryTimeout(kDefaultQueryTimeout); }

void PosConnections::SetQueryTimeout(int seconds)
{
    coDataDb_.setDeadline(seconds);
    coStoreDb_.setDeadline(seconds);
}

void PosConnections::SetParams(Database& connection, const QByteArray& serverName,
                               const DatabaseCredentials& credentials)
{
    connection.ClearParams();
    connection.AddParam("USER NAME=" + credentials.User.value_or("SYSDBA"));
    connection.AddParam("PASSWORD=" + credentials.Password.value_or("quillpost"));
    connection.AddParam("SQLDIALECT=3");
    connection.AddParam("SERVER NAME=" + serverName);
}

QByteArray PosConnections::StoreFilePath(const QByteArray& dataFilePath)
{
    // "/" ends the folder too, or "server:/db/pos.fdb" would give "server:POSSYS.FDB".
    qsizetype end = -1;
    for (char separator : {'\\', ':', '/'})
        end = std::max(end, dataFilePath.lastIndexOf(separator));
    return dataFilePath.left(end + 1) + "POSSYS.FDB";
}

QByteArray PosConnections::OpenPosConnections(const QByteArray& dataFilePath, bool extendedLayout,
                                              const QByteArray& priceColumn, const QByteArray& storeCode,
                                              const DatabaseCredentials& credentials,
                                              const std::function<void()>& reattached)
{
    // A Start that failed may have left a connection open on the old file: without this the new
    // lists would never take effect, since opening an open connection does nothing.
    ClosePosConnections();
    setAllParams(dataFilePath, credentials);
    CheckConnectionLimits(credentials);
    return RunReattaching([&] { return openAndSettle(extendedLayout, priceColumn, storeCode); }, reattached);
}

QByteArray PosConnections::openAndSettle(bool extendedLayout, const QByteArray& priceColumn,
                                         const QByteArray& storeCode)
{
    coDataDb_.Open();
    if (extendedLayout)
        return priceColumn;
    coStoreDb_.Open();
    return readPriceLevel(storeCode);
}

void PosConnections::setAllParams(const QByteArray& dataFilePath, const DatabaseCredentials& credentials)
{
    SetParams(coDataDb_, dataFilePath, credentials);
    SetParams(coStoreDb_, StoreFilePath(dataFilePath), credentials);
}

QByteArray PosConnections::readPriceLevel(const QByteArray& storeCode)
{
    qryStore_.Open("Select M_DEFAULTPRICE from Mas_Store Where M_Code=" + QuoteSql(storeCode));
    storeKnown_ = qryStore_.RowCount() != 0;
    return storeKnown_ ? qryStore_.FieldAsText("M_DEFAULTPRICE") : QByteArray("PRCERR");
}

namespace {

// One step of the check: an engine failure says first what failed, then the engine's own words.
template <typename Step>
void CheckStep(const QByteArray& what, Step step)
{
    try {
        step();
    } catch (const EDatabaseError& error) {
        throw EDatabaseError(what.toStdString() + ":\n" + error.what());
    }
}

} // namespace

QByteArray PosConnections::CheckPosConnections(const QByteArray& dataFilePath, bool extendedLayout,
                                               const QByteArray& priceColumn, const QByteArray& storeCode,
                                               const DatabaseCredentials& credentials,
                                               const std::function<void(PosCheckStep)>& passed,
                                               const std::function<void(const QByteArray& level)>& probe)
{
    // A failed Start may have left the connections open on the old files: the check opens afresh,
    // and closes whatever it opened however it ends.
    ClosePosConnections();
    struct CloseAfter {
        PosConnections& pos;
        ~CloseAfter() { pos.ClosePosConnections(); }
    } closeAfter{*this};
    setAllParams(dataFilePath, credentials);
    CheckConnectionLimits(credentials);
    const QByteArray storeFile = StoreFilePath(dataFilePath);
    const auto tell = [&passed](PosCheckStep step) {
        if (passed)
            passed(step);
    };
    CheckStep("Cannot open the data file " + dataFilePath, [this] { coDataDb_.Open(); });
    tell(PosCheckStep::DataFile);
    QByteArray level = priceColumn;
    if (!extendedLayout) {
        CheckStep("Cannot open the store file " + storeFile, [this] { coStoreDb_.Open(); });
        tell(PosCheckStep::StoreFile);
        CheckStep("Cannot read the price level of store " + storeCode + " from " + storeFile,
                  [&] { level = readPriceLevel(storeCode); });
        tell(PosCheckStep::PriceLevel);
    }
    if (probe)
        probe(level);
    return level;
}

void PosConnections::ClosePosConnections()
{
    // A server that let a scan's deadline pass is not asked to detach either connection: each would
    // wait Database::kCloseLimit for it, and Stop (SIGTERM) with them.
    if (coDataDb_.InOutage() || coStoreDb_.InOutage()) {
        coDataDb_.Abandon();
        coStoreDb_.Abandon();
        return;
    }
    coDataDb_.Close();
    coStoreDb_.Close();
}

} // namespace tarvel
