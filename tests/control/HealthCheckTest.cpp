// tarvel --check in-process, against real POS databases of both layouts: it passes only where Start
// would serve, and a setting the database does not fit is a FAILED line that names it.

#include "control/HealthCheck.h"

#include "support/FirebirdFixture.h"
#include "support/ProgramFolder.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>

using namespace tarvel;

namespace {

class HealthCheckTest : public testing::Test {
protected:
    void SetUp() override
    {
        QByteArray made = folder.makeStore(port);
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        made = xe.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        // A store file beside it, so that the standard layout gets as far as its queries there.
        made = xe.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        const QString dropped = xe.writeScript("drop-promotion.sql", "ALTER TABLE Mas_Stock_Price DROP M_DISCPRICE2;\n"
                                                                     "COMMIT;\n");
        made = older.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql", dropped});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        made = older.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    }

    // The report's lines as `tarvel --check` prints them, the verdict last.
    QList<QByteArray> check() const
    {
        const CheckReport report = CheckSetup(folder.path());
        QList<QByteArray> lines;
        for (const CheckLine& line : report.lines)
            lines.append(CheckLineText(line));
        lines.append(CheckSummary(report));
        return lines;
    }

    ProgramFolder folder;
    FirebirdFixture xe; // the Vexa XE layout
    FirebirdFixture older; // the standard layout without promotion 2's price
    quint16 port = ProgramFolder::FreePort();
};

// Each query a scan of the layout in force runs, run once with a code no item carries: a setting the
// database does not fit fails the check by name, with the engine's words, and a missing promotion
// column (which fails only scans inside its window) is a warning.
TEST_F(HealthCheckTest, TheCheckRunsTheQueriesOfAScanAndNamesTheSettingTheDatabaseRefuses)
{
    const QByteArray standard = folder.dataPath();
    const QByteArray extended = xe.path("XE.FDB");
    const QByteArray shelf = "SEND_StoreSHELF=T\r\n";
    const struct {
        const char* what;
        QByteArray settings;
        QList<QByteArray> lines; // each the start of a line the report holds
        QByteArray verdict;
    } cases[] = {
        {"the standard layout on its database",
         ProgramFolder::settingsFor(standard, port, shelf),
         {"ok      scan queries  barcode, item, price and shelf queries of the standard layout run"},
         "check passed: Start would succeed"},
        {"the Vexa XE layout on its database, without the shelf",
         ProgramFolder::settingsFor(extended, port, {}, "M_P1_S3"),
         {"ok      scan queries  barcode and item queries of the Vexa XE layout run"},
         "check passed: Start would succeed"},
        {"FDB_DATA_XE=T on a standard-layout database",
         ProgramFolder::settingsFor(standard, port, shelf, "M_PRICE"),
         {"FAILED  scan queries  the barcode query of the Vexa XE layout (FDB_DATA_XE=T in Tarvel.ini) is refused, "
          "so no scan would get a reply: Dynamic SQL Error; SQL error code = -206; Column unknown; M_STOCK_ID"},
         "check FAILED at scan queries: Start would not succeed"},
        {"a price column the item table does not have",
         ProgramFolder::settingsFor(extended, port, shelf, "M_P1_X"),
         {"FAILED  scan queries  the item query of the Vexa XE layout at price column M_P1_X (FDB_DATA_XE_PRICE in "
          "Tarvel.ini) is refused, so no scan would get a reply: Dynamic SQL Error; SQL error code = -206; Column "
          "unknown; M_P1_X"},
         "check FAILED at scan queries: Start would not succeed"},
        {"the standard layout on a Vexa XE database",
         ProgramFolder::settingsFor(extended, port),
         {"FAILED  scan queries  the barcode query of the standard layout (FDB_DATA_XE is not T in Tarvel.ini) "
          "is refused, "
          "so no scan would get a reply: Dynamic SQL Error; SQL error code = -206; Column unknown; M_PLULINKID"},
         "check FAILED at scan queries: Start would not succeed"},
        {"a price table without promotion 2's price",
         ProgramFolder::settingsFor(older.path("DATA.FDB"), port),
         {"ok      scan queries  barcode, item and price queries of the standard layout run",
          "warning scan queries  Mas_Stock_Price has no column M_DISCPRICE2: a scan of an item whose promotion 2 "
          "window is open would get no reply"},
         "check passed: Start would succeed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.writeSettings(c.settings);
        const QList<QByteArray> lines = check();
        for (const QByteArray& expected : c.lines)
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](const QByteArray& line) { return line.startsWith(expected); }))
                << expected.toStdString() << "\nin:\n"
                << lines.join('\n').toStdString();
        EXPECT_EQ(lines.last(), c.verdict) << lines.join('\n').toStdString();
    }
}

// A store POSSYS.FDB does not know serves every price at 0.00: the check fails, naming where the code
// came from.
TEST_F(HealthCheckTest, AStoreThePosDatabaseDoesNotKnowFailsTheCheckNamingItsSource)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    const QByteArray dir = QFile::encodeName(folder.path());
    folder.writeStore("S99", "NOWHERE");
    QList<QByteArray> lines = check();
    EXPECT_TRUE(lines.contains("FAILED  price level   store S99 (DEFAULT_STORE in " + dir
                               + "Register.ini) is not in Mas_Store of POSSYS.FDB: Start would serve price level "
                                 "PRCERR, every price 0.00"))
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), "check FAILED at price level: Start would not succeed");

    QFile::remove(folder.path() + "Register.ini");
    QFile setup(folder.path() + "Setup.ini");
    ASSERT_TRUE(setup.open(QIODevice::WriteOnly));
    setup.write("[Store]\r\nPOS_ZELT_Store_Code=S98\r\n");
    setup.close();
    lines = check();
    EXPECT_TRUE(lines.contains("FAILED  price level   store S98 (POS_ZELT_Store_Code in " + dir
                               + "Setup.ini) is not in Mas_Store of POSSYS.FDB: Start would serve price level "
                                 "PRCERR, every price 0.00"))
        << lines.join('\n').toStdString();

    // The Vexa XE layout reads no store file: any store serves.
    folder.writeSettings(ProgramFolder::settingsFor(xe.path("XE.FDB"), port, {}, "M_PRICE"));
    EXPECT_EQ(check().last(), "check passed: Start would succeed");
}

} // namespace
