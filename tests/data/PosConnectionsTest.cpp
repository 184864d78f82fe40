#include "data/PosConnections.h"

#include "data/EDatabaseError.h"
#include "support/Failure.h"
#include "support/FirebirdFixture.h"

#include <gtest/gtest.h>

using namespace tarvel;

namespace {

TEST(StoreFilePath, FolderEndsAtTheLastBackslashColonOrSlash)
{
    EXPECT_EQ(PosConnections::StoreFilePath("C:\\POS\\DATA.FDB"), "C:\\POS\\POSSYS.FDB");
    EXPECT_EQ(PosConnections::StoreFilePath("server:C:\\POS\\DATA.FDB"), "server:C:\\POS\\POSSYS.FDB");
    EXPECT_EQ(PosConnections::StoreFilePath("DATA.FDB"), "POSSYS.FDB");
    EXPECT_EQ(PosConnections::StoreFilePath(""), "POSSYS.FDB");
    // A server on Linux: the folder keeps its slashes.
    EXPECT_EQ(PosConnections::StoreFilePath("server:/db/pos.fdb"), "server:/db/POSSYS.FDB");
    EXPECT_EQ(PosConnections::StoreFilePath("/var/pos/DATA.FDB"), "/var/pos/POSSYS.FDB");
    EXPECT_EQ(PosConnections::StoreFilePath("C:DATA.FDB"), "C:POSSYS.FDB");
}

// A standard-layout data file with its POSSYS.FDB, and an extended-layout one alone in its folder.
class PosConnectionsTest : public testing::TestWithParam<Access> {
protected:
    void SetUp() override
    {
        if (GetParam() == Access::Server) {
            const QByteArray problem = FirebirdFixture::serverProblem();
            ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        }
        QByteArray made = standard.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        made = standard.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        made = extended.create("XE.FDB", {"extended-schema.sql", "extended-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
        pos.coStoreDb().setSqlTrace([this](const QByteArray& sql) { storeSql.push_back(sql); });
    }
    void TearDown() override { pos.ClosePosConnections(); }

    QByteArray at(const FirebirdFixture& fb, const QString& file) const { return fb.at(GetParam(), file); }

    FirebirdFixture standard;
    FirebirdFixture extended;
    PosConnections pos;
    std::vector<QByteArray> storeSql;
};

TEST_P(PosConnectionsTest, StandardLayoutTakesTheStoresDefaultLevel)
{
    const QByteArray data = at(standard, "DATA.FDB");
    EXPECT_EQ(pos.OpenPosConnections(data, false, "M_PRICE", "S02"), "P2");
    EXPECT_EQ(storeSql, std::vector<QByteArray>({"Select M_DEFAULTPRICE from Mas_Store Where M_Code='S02'"}));
    EXPECT_EQ(pos.coDataDb().Params(),
              QList<QByteArray>({"USER NAME=SYSDBA", "PASSWORD=quillpost", "SQLDIALECT=3", "SERVER NAME=" + data}));
    EXPECT_EQ(pos.coStoreDb().Params(), QList<QByteArray>({"USER NAME=SYSDBA", "PASSWORD=quillpost", "SQLDIALECT=3",
                                                           "SERVER NAME=" + PosConnections::StoreFilePath(data)}));
    EXPECT_TRUE(pos.coDataDb().Connected());
    EXPECT_TRUE(pos.coStoreDb().Connected());
    EXPECT_TRUE(pos.qryStore().IsOpen()) << "qryStore stays open until its connection closes";

    pos.ClosePosConnections();
    EXPECT_FALSE(pos.coDataDb().Connected());
    EXPECT_FALSE(pos.coStoreDb().Connected());
    EXPECT_FALSE(pos.qryStore().IsOpen());

    // A quote in the store code is doubled; a store without a row gets PRCERR; a NULL level is empty.
    storeSql.clear();
    EXPECT_EQ(pos.OpenPosConnections(data, false, "M_PRICE", "ST'03"), "P3");
    EXPECT_EQ(storeSql, std::vector<QByteArray>({"Select M_DEFAULTPRICE from Mas_Store Where M_Code='ST''03'"}));
    EXPECT_EQ(pos.OpenPosConnections(data, false, "M_PRICE", "S99"), "PRCERR");
    EXPECT_EQ(pos.OpenPosConnections(data, false, "M_PRICE", "S04"), "");
}

TEST_P(PosConnectionsTest, ExtendedLayoutNeedsNoStoreFile)
{
    EXPECT_EQ(pos.OpenPosConnections(at(extended, "XE.FDB"), true, "M_P1_S3", "S01"), "M_P1_S3");
    EXPECT_TRUE(pos.coDataDb().Connected());
    EXPECT_FALSE(pos.coStoreDb().Connected());
    EXPECT_TRUE(storeSql.empty());
    pos.ClosePosConnections();
    EXPECT_FALSE(pos.coDataDb().Connected());
    EXPECT_FALSE(pos.coStoreDb().Connected());
}

TEST_P(PosConnectionsTest, AMissingStoreFileFailsAfterTheDataFileOpened)
{
    // The standard layout on the folder that has no POSSYS.FDB.
    const QByteArray failure =
        Failure([&] { pos.OpenPosConnections(at(extended, "XE.FDB"), false, "M_PRICE", "S01"); });
    EXPECT_TRUE(failure.contains("POSSYS.FDB")) << failure.toStdString();
    EXPECT_TRUE(pos.coDataDb().Connected()) << "what opened before the failure stays open";
    EXPECT_FALSE(pos.coStoreDb().Connected());
}

TEST_P(PosConnectionsTest, AWrongPathFailsWithTheEnginesMessage)
{
    const QByteArray missing = at(standard, "NOSUCH.FDB");
    const QByteArray failure = Failure([&] { pos.OpenPosConnections(missing, false, "M_PRICE", "S01"); });
    EXPECT_TRUE(failure.contains("NOSUCH.FDB")) << failure.toStdString();
    EXPECT_FALSE(pos.coDataDb().Connected());

    // An empty path goes to the engine unchanged, and is refused by it.
    EXPECT_FALSE(Failure([&] { pos.OpenPosConnections("", false, "M_PRICE", "S01"); }).isEmpty());
    EXPECT_EQ(pos.coDataDb().Params().last(), "SERVER NAME=");

    // A later Start on the right file works: the lists are rebuilt.
    EXPECT_EQ(pos.OpenPosConnections(at(standard, "DATA.FDB"), false, "M_PRICE", "S01"), "P1");
}

// The store-system attachment is lost between its open and the price-level read (the server restarted
// at that moment): Start attaches afresh and reads the level once more; no error, and it is told once.
TEST_P(PosConnectionsTest, APriceLevelReadThatMeetsALostAttachmentRunsOnceMore)
{
    int reads = 0;
    pos.coStoreDb().setSqlTrace([&](const QByteArray&) {
        if (++reads > 1)
            return;
        Database admin;
        PosConnections::SetParams(admin, at(standard, "POSSYS.FDB"), {});
        admin.Open();
        admin.ExecSql("Delete From MON$ATTACHMENTS Where MON$ATTACHMENT_ID<>CURRENT_CONNECTION");
    });
    int reattached = 0;
    EXPECT_EQ(pos.OpenPosConnections(at(standard, "DATA.FDB"), false, "M_PRICE", "S01", {}, [&] { ++reattached; }),
              "P1");
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(reattached, 1);
}

INSTANTIATE_TEST_SUITE_P(Access, PosConnectionsTest, testing::Values(Access::Embedded, Access::Server), AccessName);

// Credentials from the settings replace the fixed ones and reach the server; a wrong password is the
// server's refusal. (Embedded access checks no password, so this needs the server.)
TEST(PosConnectionsServer, CredentialsReplaceTheFixedUserAndPassword)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    FirebirdFixture fb;
    ASSERT_TRUE(fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"}).isEmpty());
    ASSERT_TRUE(fb.create("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"}).isEmpty());
    PosConnections pos;

    const QByteArray message = Failure([&] {
        pos.OpenPosConnections(fb.serverPath("DATA.FDB"), false, "M_PRICE", "S01",
                               {std::nullopt, QByteArray("not-the-password")});
    });
    EXPECT_EQ(pos.coDataDb().Params()[0], "USER NAME=SYSDBA");
    EXPECT_EQ(pos.coDataDb().Params()[1], "PASSWORD=not-the-password");
    EXPECT_TRUE(message.contains("password")) << message.toStdString();
    EXPECT_FALSE(message.contains("not-the-password")) << "the password never shows";

    EXPECT_EQ(pos.OpenPosConnections(fb.serverPath("DATA.FDB"), false, "M_PRICE", "S01",
                                     {QByteArray("sysdba"), QByteArray("quillpost")}),
              "P1");
    EXPECT_EQ(pos.coStoreDb().Params()[0], "USER NAME=sysdba");
}

} // namespace
