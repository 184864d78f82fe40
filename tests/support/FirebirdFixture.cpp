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

QByteArray FirebirdFixture::serverPath(const QString& fileName) const { return "localhost:" + path(fileName); }

QString FirebirdFixture::folder() const { return dir_.path(); }

QString FirebirdFixture::writeScript(const QString& fileName, const QByteArray& sql) const
{
    QFile file(dir_.filePath(fileName));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(sql);
    return file.fileName();
}

QByteArray FirebirdFixture::serverProblem()
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start("fbsvcmgr", {"localhost:service_mgr", "-user", kUser, "-password", kPassword, "info_server_version"});
    if (!probe.waitForFinished(8000)) {
        probe.kill();
        probe.waitForFinished();
        return "the Firebird server on localhost:3050 does not answer within 8 s (run scripts/start-firebird)";
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return "the Firebird server on localhost:3050 is not usable (run scripts/start-firebird): "
             + probe.readAll().trimmed();
    return {};
}

} // namespace tarvel
