#pragma once

// Firebird databases for tests, made from the SQL scripts in tests/fixtures with scripts/make-fixture-db.
//
//   FirebirdFixture fb;                                      // a fresh folder under /tmp, mode 0755
//   fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
//   fb.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
//   fb.path("DATA.FDB")        -> "/tmp/tarvel-fb-XXXXXX/DATA.FDB"            (embedded access)
//   fb.serverPath("DATA.FDB")  -> "localhost:/tmp/tarvel-fb-XXXXXX/DATA.FDB"  (the server, over TCP)
//
// A script name without a "/" is taken from tests/fixtures; any other is used as given, so a test can
// add its own data script (written with WriteScript) to a fixture schema. The files belong to the
// firebird user, so the server can open them. Pick one access per file: a server does not open a file
// that an embedded attachment holds. The folder and its files go when the fixture does.
//
// Tests that need the server call RequireServer() first (ASSERT_TRUE(...) << message): make test runs
// scripts/start-firebird before the tests.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvel {

class FirebirdFixture {
public:
    FirebirdFixture();

    // Makes fileName in the folder from the scripts, in order. Returns an empty text on success, or
    // the script's complaint (isql's own output).
    QByteArray create(const QString& fileName, const QStringList& scripts);

    QByteArray path(const QString& fileName) const;
    QByteArray serverPath(const QString& fileName) const;
    QString folder() const;

    // Writes raw bytes to a script file in the folder and returns its full path.
    QString writeScript(const QString& fileName, const QByteArray& sql) const;

    static QString fixturesFolder();
    static QString scriptsFolder();

    // Empty when the server on localhost:3050 accepts SYSDBA with the test password, else what
    // went wrong; waits at most a few seconds.
    static QByteArray serverProblem();

    static constexpr const char* kUser = "SYSDBA";
    static constexpr const char* kPassword = "quillpost";

private:
    QTemporaryDir dir_;
};

} // namespace tarvel
