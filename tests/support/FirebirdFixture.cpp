#include "FirebirdFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace tarvel {

FirebirdFixture::FirebirdFixture() : dir_(QDir::tempPath() + "/tarvel-fb-XXXXXX")
{
    // The server runs as firebird and must walk into the folder.
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                           | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

QString FirebirdFixture::fixturesFolder() { return QStringLiteral(TARVEL_SOURCE_DIR "/tests/fixtures"); }

QString FirebirdFixture::scriptsFolder() { return QStringLiteral(TARVEL_SOURCE_DIR "/scripts"); }

QByteArray FirebirdFixture::create(const QString& fileName, const QStringList& scripts)
{
    if (!dir_.isValid())
        return "cannot make a temporary folder: " + dir_.errorString().toLocal8Bit();
    QStringList args{dir_.filePath(fileName)};
    for (const QString& script : scripts)
        args << (script.contains('/') ? script : fixturesFolder() + '/' + script);
    QProcess make;
    make.setProcessChannelMode(QProcess::MergedChannels);
    make.start(scriptsFolder() + "/make-fixture-db", args);
    if (!make.waitForFinished(60000)) {
        make.kill();
        make.waitForFinished();
        return "make-fixture-db did not finish within 60 s";
    }
    if (make.exitStatus() != QProcess::NormalExit || make.exitCode() != 0)
        return "make-fixture-db failed: " + make.readAll();
    return {};
}

QByteArray FirebirdFixture::path(const QString& fileName) const { return dir_.filePath(fileName).toLocal8Bit(); }

QByteArray FirebirdFixture::serverPath(const QString& fileName) const { return onServer(path(fileName)); }

QByteArray FirebirdFixture::onServer(const QByteArray& path)
{
    return "127.0.0.1/" + QByteArray::number(serverPort()) + ':' + path;
}

QString FirebirdFixture::folder() const { return dir_.path(); }

QString FirebirdFixture::writeScript(const QString& fileName, const QByteArray& sql) const
{
    QFile file(dir_.filePath(fileName));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(sql);
    return file.fileName();
}

namespace {

QByteArray ReadServerFile(const char* name)
{
    QFile file(FirebirdFixture::serverFolder() + '/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

} // namespace

QString FirebirdFixture::serverFolder() { return QStringLiteral(TARVEL_FIREBIRD_DIR); }

quint16 FirebirdFixture::serverPort() { return static_cast<quint16>(ReadServerFile("port").toUInt()); }

qint64 FirebirdFixture::serverPid() { return ReadServerFile("firebird.pid").toLongLong(); }

QByteArray FirebirdFixture::serverProblem()
{
    const QByteArray where = "the suite's Firebird server (" + serverFolder().toLocal8Bit() + ")";
    const quint16 port = serverPort();
    if (port == 0)
        return where + " has not been started: run scripts/start-firebird " + serverFolder().toLocal8Bit()
             + ", or the tests through ctest";
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start("fbsvcmgr", {QStringLiteral("127.0.0.1/%1:service_mgr").arg(port), "-user", kUser, "-password",
                             kPassword, "info_server_version"});
    if (!probe.waitForFinished(8000)) {
        probe.kill();
        probe.waitForFinished();
        return where + " does not answer on port " + QByteArray::number(port) + " within 8 s";
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return where + " on port " + QByteArray::number(port) + " is not usable: " + probe.readAll().trimmed();
    return {};
}

QByteArray FirebirdFixture::runServerScript(const char* script)
{
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(scriptsFolder() + '/' + script, {serverFolder()});
    const bool done = run.waitForFinished(60000);
    if (done && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0)
        return {};
    if (!done) {
        run.kill();
        run.waitForFinished();
    }
    return script + (": " + run.readAll());
}

} // namespace tarvel
