#include "support/ProgramFolder.h"

#include "base/OperatorLog.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>

namespace tarvel {

namespace {

void WriteFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

ProgramFolder::ProgramFolder() = default;

QString ProgramFolder::path() const { return QDir::toNativeSeparators(dir_.path()) + QDir::separator(); }

QByteArray ProgramFolder::makeDatabase()
{
    QByteArray problem = db_.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
    if (problem.isEmpty())
        problem = db_.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
    return problem;
}

QByteArray ProgramFolder::makeStore(quint16 port, bool overServer, const QByteArray& otherSetup)
{
    const QByteArray problem = makeDatabase();
    writeSettings(settingsFor(overServer ? dataServerPath() : dataPath(), port, otherSetup));
    writeStore("S01", "QUILLPOST MART KLANG");
    return problem;
}

QByteArray ProgramFolder::settingsFor(const QByteArray& dataFile, int port, const QByteArray& otherSetup,
                                      const QByteArray& xePrice)
{
    return "[TCP_SERVER_SETUP]\r\nTCP_PORT=" + QByteArray::number(port) + "\r\n[FDB_DATA_SETUP]\r\nFDB_DATA_FILENAME="
         + dataFile + "\r\nFDB_DATA_XE=" + (xePrice.isEmpty() ? "F" : "T") + "\r\nFDB_DATA_XE_PRICE="
         + (xePrice.isEmpty() ? "M_PRICE" : xePrice) + "\r\n[OTHER_SETUP]\r\nCURRENCY_SYMBOL=RM\r\n" + otherSetup;
}

void ProgramFolder::writeSettings(const QByteArray& text) const { WriteFile(path() + "Tarvel.ini", text); }

void ProgramFolder::writeStore(const QByteArray& code, const QByteArray& name) const
{
    WriteFile(path() + "Register.ini", "[STORE]\r\nDEFAULT_STORE=" + code + "\r\nDEFAULT_STORE_NAME=" + name + "\r\n");
}

QByteArray ProgramFolder::readSettings() const { return ReadFileBytes(path() + "Tarvel.ini"); }

quint16 ProgramFolder::FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

HostLookup TillHost()
{
    return {[] { return QByteArray("till-host"); }, [] { return QList<QByteArray>{"192.168.1.20", "10.0.0.7"}; }};
}

std::vector<QByteArray> StartLines(quint16 port)
{
    return {FormatLogLabel("+ FDB data connected") + kStatusConnected,
            FormatLogLabel("+ [LISTEN] "),
            FormatLogLabel("+ ServerSocket started ") + kStatusConnected,
            FormatLogLabel("  Server Name : till-host"),
            FormatLogLabel("  Server IP   : 192.168.1.20"),
            FormatLogLabel("  Server IP   : 10.0.0.7"),
            FormatLogLabel("  Port No#    : " + QByteArray::number(port))};
}

std::vector<QByteArray> StopLines()
{
    return {FormatLogLabel("- FDB data disconnected") + kStatusDone,
            FormatLogLabel("- IdTCPServer stopped ") + kStatusDone};
}

} // namespace tarvel
