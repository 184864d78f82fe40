#include "support/ProgramFolder.h"

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

QByteArray ProgramFolder::settingsFor(const QByteArray& dataFile, int port, const QByteArray& otherSetup)
{
    return "[TCP_SERVER_SETUP]\r\nTCP_PORT=" + QByteArray::number(port)
         + "\r\n[FDB_DATA_SETUP]\r\nFDB_DATA_FILENAME=" + dataFile
         + "\r\nFDB_DATA_XE=F\r\nFDB_DATA_XE_PRICE=M_PRICE\r\n[OTHER_SETUP]\r\nCURRENCY_SYMBOL=RM\r\n" + otherSetup;
}

void ProgramFolder::writeSettings(const QByteArray& text) const { WriteFile(path() + "Tarvel.ini", text); }

void ProgramFolder::writeStore(const QByteArray& code, const QByteArray& name) const
{
    WriteFile(path() + "Register.ini", "[STORE]\r\nDEFAULT_STORE=" + code + "\r\nDEFAULT_STORE_NAME=" + name + "\r\n");
}

QByteArray ProgramFolder::readSettings() const
{
    QFile file(path() + "Tarvel.ini");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 ProgramFolder::FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

} // namespace tarvel
