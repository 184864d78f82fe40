#pragma once

// Firebird databases for tests, made from the SQL scripts in tests/fixtures with scripts/make-fixture-db.
//
//   FirebirdFixture fb;                                      // a fresh folder under /tmp, mode 0755
//   fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
//   fb.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
//   fb.path("DATA.FDB")        -> "/tmp/tarvel-fb-XXXXXX/DATA.FDB"            (embedded access)
//   fb.serverPath("DATA.FDB")  -> "127.0.0.1/PORT:/tmp/tarvel-fb-XXXXXX/DATA.FDB"  (the test server, TCP)
//
// A script name without a "/" is taken from tests/fixtures; any other is used as given, so a test can
// add its own data script (written with WriteScript) to a fixture schema. The files belong to the
// firebird user, so the server can open them. Pick one access per file: a server does not open a file
// that an embedded attachment holds. The folder and its files go when the fixture does.
//
// Tests that need the server check serverProblem() first (ASSERT_TRUE(...) << message). The server is
// the suite's own (scripts/start-firebird with the build's folder, started by CTest before the tests
// that need it and stopped after them), on a port of its own: never the machine's server on 3050.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvel {

// A parameterised suite runs each test on an embedded file and again over the suite's server.
enum class Access { Embedded, Server };
inline std::string AccessName(const testing::TestParamInfo<Access>& info)
{
    return info.param == Access::Embedded ? "Embedded" : "Server";
}

class FirebirdFixture {
public:
    FirebirdFixture();

    // Makes fileName in the folder from the scripts, in order. Returns an empty text on success, or
    // the script's complaint (isql's own output).
    QByteArray create(const QString& fileName, const QStringList& scripts);

    QByteArray path(const QString& fileName) const;
    QByteArray serverPath(const QString& fileName) const;
    QByteArray at(Access access, const QString& fileName) const
    {
        return access == Access::Server ? serverPath(fileName) : path(fileName);
    }
    // Any file path on the suite's server: "127.0.0.1/PORT:" + path.
    static QByteArray onServer(const QByteArray& path);
    QString folder() const;

    // Writes raw bytes to a script file in the folder and returns its full path.
    QString writeScript(const QString& fileName, const QByteArray& sql) const;

    static QString fixturesFolder();
    static QString scriptsFolder();

    // Empty when the suite's server accepts SYSDBA with the test password, else what went wrong;
    // waits at most a few seconds.
    static QByteArray serverProblem();
    // The suite's server: the folder scripts/start-firebird keeps it in, its port and its process.
    static QString serverFolder();
    static quint16 serverPort();
    static qint64 serverPid();
    // Runs scripts/start-firebird or scripts/stop-firebird on the suite's server; empty on success,
    // else what the script said.
    static QByteArray runServerScript(const char* script);

    static constexpr const char* kUser = "SYSDBA";
    static constexpr const char* kPassword = "quillpost";

private:
    QTemporaryDir dir_;
};

} // namespace tarvel
