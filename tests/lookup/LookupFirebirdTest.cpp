// Both lookups against real Firebird databases made from the fixture scripts, with every SQL text
// checked as the connection sent it.

#include "data/Database.h"
#include "data/EDatabaseError.h"
#include "data/FbQuery.h"
#include "lookup/PosItemLookups.h"
#include "mock/FixedClock.h"
#include "support/CommaLocale.h"
#include "support/FirebirdFixture.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarvel {
namespace {

const QDate Today(2024, 5, 15);

// One connection with the three query components, tracing what it sends.
struct DataConnection {
    explicit DataConnection(const QByteArray& serverName)
    {
        db.AddParam(QByteArray("USER NAME=") + FirebirdFixture::kUser);
        db.AddParam(QByteArray("PASSWORD=") + FirebirdFixture::kPassword);
        db.AddParam("SERVER NAME=" + serverName);
        db.setSqlTrace([this](const QByteArray& sql) { sent.push_back(sql); });
        db.Open();
    }
    ~DataConnection() { db.Close(); }
    // The texts sent since the last call.
    std::vector<QByteArray> take() { return std::exchange(sent, {}); }

    // One scan through the service's lookups on these components, at `level` (the price column in the
    // extended layout) for store S01.
    LookupResult lookup(bool extended, const Clock& clock, const QByteArray& code, const QByteArray& level,
                        const ServiceSettings& settings)
    {
        PosItemLookups lookups(qryTmp, qryStockPrice, qryStoreSHELF, clock);
        const RunContext run{settings, extended, level, "S01"};
        return extended ? lookups.LookupExtended(code, run) : lookups.LookupStandard(code, run);
    }

    Database db;
    FbQuery qryTmp{db};
    FbQuery qryStockPrice{db};
    FbQuery qryStoreSHELF{db};
    std::vector<QByteArray> sent;
};

// One database file per layout for the whole suite, opened embedded by every test.
class FirebirdLookupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        fixture_ = std::make_unique<FirebirdFixture>();
        standardProblem_ = fixture_->create("STANDARD.FDB", {"standard-schema.sql", "lookup-standard-edge.sql"});
        extendedProblem_ = fixture_->create("EXTENDED.FDB", {"extended-schema.sql", "lookup-extended-edge.sql"});
    }
    static void TearDownTestSuite() { fixture_.reset(); }

    static std::unique_ptr<FirebirdFixture> fixture_;
    static QByteArray standardProblem_;
    static QByteArray extendedProblem_;
};
std::unique_ptr<FirebirdFixture> FirebirdLookupTest::fixture_;
QByteArray FirebirdLookupTest::standardProblem_;
QByteArray FirebirdLookupTest::extendedProblem_;

const QByteArray StdBarcode = "Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode=";
const QByteArray StdItem = "Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where ";
QByteArray StdPrice(const QByteArray& key, const QByteArray& level = "L1")
{
    return "Select * From Mas_Stock_Price Where M_PluLinkId='" + key + "' And M_Level='" + level
         + "' AND M_QTY=1 AND M_OFQTY=1";
}
QByteArray StdFallback(const QByteArray& quoted)
{
    return StdItem + "M_PLUCODE=" + quoted + "Or M_ALU=" + quoted + "Or M_BARCODE=" + quoted;
}

class StandardOnFirebird : public FirebirdLookupTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(standardProblem_.isEmpty()) << standardProblem_.constData();
        data_ = std::make_unique<DataConnection>(fixture_->path("STANDARD.FDB"));
        settings.SendStoreShelf = true;
    }
    void TearDown() override { data_.reset(); }

    LookupResult lookup(const QByteArray& code, QTime time = QTime(12, 0), const QByteArray& level = "L1")
    {
        clock.set(Today, time);
        return data_->lookup(false, clock, code, level, settings);
    }
    QByteArray price(const QByteArray& code, QTime time) { return lookup(code, time).PriceText; }

    std::unique_ptr<DataConnection> data_;
    FixedClock clock{Today, QTime(12, 0)};
    ServiceSettings settings;
};

TEST_F(StandardOnFirebird, BarcodeToItemPriceAndThisStoresLatestShelf)
{
    const LookupResult r = lookup("9551000000100");
    EXPECT_EQ(data_->take(),
              (std::vector<QByteArray>{
                  StdBarcode + "'9551000000100'", StdItem + "M_PluLinkId='L100'", StdPrice("L100"),
                  "Select * From MAS_Stock_SHELF Where M_Store='S01' And M_PluLinkId='L100' order by M_UPDATE DESC"}));
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Description, "Teh Tarik 20s");
    EXPECT_EQ(r.ItemCode, "P100");
    EXPECT_EQ(r.Barcode, "9551000000100");
    EXPECT_EQ(r.ItemKey, "L100");
    EXPECT_EQ(r.PriceText, "RM 10.50");
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "R2-NEW");
}

TEST_F(StandardOnFirebird, WhichItemIsFound)
{
    // A barcode row pointing nowhere: not found, though the code is an item code.
    LookupResult r = lookup("NOWHERE");
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(data_->take(), (std::vector<QByteArray>{StdBarcode + "'NOWHERE'", StdItem + "M_PluLinkId='L404'"}));

    r = lookup("ALU102");
    EXPECT_EQ(r.ItemKey, "L102");
    EXPECT_EQ(r.PriceText, "RM 4.20");
    EXPECT_EQ(data_->take()[1], StdFallback("'ALU102'"));

    // Several rows: the first in the engine's order, for barcodes, items and prices.
    EXPECT_EQ(lookup("DUPBAR").Description, "First barcode row");
    r = lookup("MULTI");
    EXPECT_EQ(r.Description, "Multi by code");
    EXPECT_EQ(r.PriceText, "RM 1.11");

    // Quotes are doubled: the injection finds nothing and the connection goes on serving.
    EXPECT_FALSE(lookup("1' OR '1'='1").Found);
    const std::vector<QByteArray> injected = data_->take();
    EXPECT_EQ(injected.back(), StdFallback("'1'' OR ''1''=''1'"));
    EXPECT_EQ(lookup("O'K").ItemKey, "L120");
    EXPECT_EQ(data_->take()[1], StdFallback("'O''K'"));

    // Bytes above 0x7F come back as stored.
    EXPECT_EQ(lookup("HIGH").Description, QByteArray("Caf\xE9 \xAE \xFF"));
    EXPECT_EQ(lookup("HALF").PriceText, "RM 0.13");
}

TEST_F(StandardOnFirebird, NoPriceRowAndNoLinkKey)
{
    EXPECT_EQ(lookup("NOPRICE").PriceText, "RM 0.00");
    data_->take();
    lookup("NOPRICE", QTime(12, 0), "PRCERR");
    EXPECT_EQ(data_->take()[2], StdPrice("L107", "PRCERR"));

    const LookupResult r = lookup("NOLINK");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.ItemKey, "");
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_EQ(r.PriceText, "RM 0.00");
    EXPECT_EQ(data_->take(), (std::vector<QByteArray>{StdBarcode + "'NOLINK'", StdFallback("'NOLINK'"), StdPrice("")}));

    // Shelf rows only in other stores.
    EXPECT_EQ(lookup("ELSEWHERE").ShelfText, "<NA>");

    CommaLocale comma;
    if (!comma.available())
        GTEST_SKIP() << "no comma locale could be made";
    EXPECT_EQ(lookup("NOPRICE", QTime(12, 0), "PRCERR").PriceText, "RM 0.00");
    EXPECT_EQ(lookup("9551000000100").PriceText, "RM 10,50");
}

TEST_F(StandardOnFirebird, PromotionWindows)
{
    // Date window open, time window closed; and the reverse, during the time window only. This time
    // window starts on 29 December 1899, before the zero day of the date-time scale.
    EXPECT_EQ(price("DATEOPEN", QTime(12, 0)), "RM 8.00");
    EXPECT_EQ(price("TIMEOPEN", QTime(8, 59, 59)), "RM 10.00");
    EXPECT_EQ(price("TIMEOPEN", QTime(9, 0, 0)), "RM 8.00");
    EXPECT_EQ(price("TIMEOPEN", QTime(17, 30, 0)), "RM 8.00");
    EXPECT_EQ(price("TIMEOPEN", QTime(17, 30, 1)), "RM 10.00");
    // Over midnight: never open.
    for (QTime t : {QTime(23, 0), QTime(1, 0), QTime(22, 0), QTime(2, 0), QTime(12, 0)})
        EXPECT_EQ(price("NIGHT", t), "RM 10.00") << t.toString().toStdString();
    // One second.
    EXPECT_EQ(price("ONESEC", QTime(11, 59, 59)), "RM 10.00");
    EXPECT_EQ(price("ONESEC", QTime(12, 0, 0)), "RM 8.00");
    EXPECT_EQ(price("ONESEC", QTime(12, 0, 1)), "RM 10.00");
    // Lower-case switches are off.
    EXPECT_EQ(price("LOWERT", QTime(12, 0)), "RM 10.00");
    // Promotion 2 over promotion 1; promotion 2 switched on but closed leaves promotion 1.
    EXPECT_EQ(price("BOTHOPEN", QTime(12, 0)), "RM 6.00");
    EXPECT_EQ(price("TWOSHUT", QTime(12, 0)), "RM 8.00");
    EXPECT_EQ(price("TWOSHUT", QTime(6, 30)), "RM 6.00");
    // An open window with a NULL promotion price.
    EXPECT_EQ(price("NULLDISC", QTime(12, 0)), "RM 0.00");
}

TEST_F(StandardOnFirebird, WindowsOnTicksBelowASecond)
{
    // Whole seconds of the stored time of day: 23:59:59.9999 is 23:59:59, 08:59:59.9995 is 08:59:59.
    for (const auto& [time, shown] : {std::pair{QTime(12, 0), "RM 8.00"},
                                      {QTime(23, 59, 59), "RM 8.00"},
                                      {QTime(8, 59, 58), "RM 8.00"},
                                      {QTime(8, 59, 59), "RM 6.00"},
                                      {QTime(9, 30, 0), "RM 6.00"},
                                      {QTime(9, 30, 1), "RM 8.00"}})
        EXPECT_EQ(price("TICKS", time), shown) << time.toString().toStdString();
    // The whole stored date-time against today at midnight: over yesterday night, open only tomorrow.
    EXPECT_EQ(price("DATETICKS", QTime(23, 59, 59)), "RM 10.00");
    clock.set(Today.addDays(1), QTime(0, 0));
    EXPECT_EQ(data_->lookup(false, clock, "DATETICKS", "L1", settings).PriceText, "RM 6.00");
}

// An empty scan matches every item with a blank M_ALu; the lookup reads one of them, as the engine's
// own record counters of the connection tell.
TEST_F(FirebirdLookupTest, AnEmptyScanReadsOneItemRowNotEveryBlankOne)
{
    FirebirdFixture fb;
    const QString rows = fb.writeScript(
        "blank-alu.sql", "SET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < 20000) DO BEGIN "
                         "INSERT INTO Mas_Stock (M_PluLinkId, M_PluCode, M_ALu) VALUES ('K' || :i, 'C' || :i, ''); "
                         "i = i + 1; END END^\nSET TERM ;^\nCOMMIT;\n");
    ASSERT_EQ(fb.create("BIG.FDB", {"standard-schema.sql", rows}), "");
    DataConnection data(fb.path("BIG.FDB"));
    const auto recordReads = [&] {
        DataConnection monitor(fb.path("BIG.FDB"));
        monitor.qryTmp.Open("Select Sum(r.MON$RECORD_SEQ_READS + r.MON$RECORD_IDX_READS) N From MON$ATTACHMENTS a "
                            "Join MON$RECORD_STATS r On r.MON$STAT_ID=a.MON$STAT_ID Where a.MON$ATTACHMENT_ID<>"
                            "CURRENT_CONNECTION");
        return monitor.qryTmp.FieldAsText("N").toLongLong();
    };
    FixedClock clock(Today, QTime(12, 0));
    for (const QByteArray code : {"C7", ""}) { // the first scan also reads the engine's own tables once
        const qint64 before = recordReads();
        EXPECT_TRUE(data.lookup(false, clock, code, "L1", {}).Found);
        if (code.isEmpty()) {
            EXPECT_LT(recordReads() - before, 100);
        }
    }
}

const QByteArray XBarcode = "Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode=";
QByteArray XItem(const QByteArray& column, const QByteArray& where)
{
    return "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, " + column + " M_Price1 From Mas_Stock "
         + where;
}
QByteArray XShelf(const QByteArray& key)
{
    return "Select * From MAS_Stock_SHELF Where M_STOCK_ID='" + key + "' order by M_DATE_UPDATE DESC";
}

class ExtendedOnFirebird : public FirebirdLookupTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(extendedProblem_.isEmpty()) << extendedProblem_.constData();
        data_ = std::make_unique<DataConnection>(fixture_->path("EXTENDED.FDB"));
        settings.SendStoreShelf = true;
    }
    void TearDown() override { data_.reset(); }

    LookupResult lookup(const QByteArray& code, const QByteArray& column = "M_PRICE")
    {
        return data_->lookup(true, clock, code, column, settings);
    }

    std::unique_ptr<DataConnection> data_;
    FixedClock clock{Today, QTime(12, 0)};
    ServiceSettings settings;
};

TEST_F(ExtendedOnFirebird, BarcodeToItemAndLatestShelfOfAnyStore)
{
    const LookupResult r = lookup("9552000000001");
    // The INTEGER key is read as text and quoted back.
    EXPECT_EQ(data_->take(), (std::vector<QByteArray>{XBarcode + "'9552000000001'",
                                                      XItem("M_PRICE", "Where M_STOCK_ID='1'"), XShelf("1")}));
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Description, "Milo 1kg Tin");
    EXPECT_EQ(r.ItemCode, "X100");
    EXPECT_EQ(r.Barcode, "9552000000001");
    EXPECT_EQ(r.ItemKey, "1");
    EXPECT_EQ(r.PriceText, "RM 21.90");
    EXPECT_EQ(r.ShelfText, "S02-LATEST");

    EXPECT_EQ(lookup("9552000000001", "M_P1_S1").PriceText, "RM 19.50");
    EXPECT_EQ(lookup("9552000000001", "M_P1_S3").PriceText, "RM 2.67");
}

TEST_F(ExtendedOnFirebird, WhichItemIsFound)
{
    EXPECT_FALSE(lookup("XNOWHERE").Found);
    EXPECT_EQ(data_->take().back(), XItem("M_PRICE", "Where M_STOCK_ID='404'"));

    EXPECT_EQ(lookup("XDUP").ItemKey, "3");
    EXPECT_EQ(lookup("XMULTI").Description, "Multi by code");
    EXPECT_EQ(data_->take()[4], XItem("M_PRICE", "Where M_STOCK_CODE='XMULTI'Or M_BARCODE='XMULTI'"));

    EXPECT_FALSE(lookup("1' OR '1'='1").Found);
    EXPECT_EQ(data_->take(),
              (std::vector<QByteArray>{
                  XBarcode + "'1'' OR ''1''=''1'",
                  XItem("M_PRICE", "Where M_STOCK_CODE='1'' OR ''1''=''1'Or M_BARCODE='1'' OR ''1''=''1'")}));
    EXPECT_EQ(lookup("O'K").ItemKey, "9");
    EXPECT_EQ(lookup("XHIGH").Description, QByteArray("Caf\xE9 \xAE \xFF"));
}

TEST_F(ExtendedOnFirebird, KeysShelvesAndPrices)
{
    LookupResult r = lookup("XNOID");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.ItemKey, "");
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_EQ(data_->take().size(), 2u);

    r = lookup("XNULLSHELF");
    EXPECT_EQ(r.PriceText, "RM 0.00");
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "");

    r = lookup("XNOSHELF");
    EXPECT_EQ(r.PriceText, "RM -1.50");
    EXPECT_EQ(r.ShelfText, "<NA>");

    settings.SendStoreShelf = false;
    EXPECT_FALSE(lookup("XNOSHELF").ShelfQueried);
}

TEST_F(ExtendedOnFirebird, APriceColumnThatIsNotAColumnIsTheEnginesError)
{
    data_->take();
    try {
        lookup("9552000000001", "M_NOPE");
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("M_NOPE"), std::string::npos) << e.what();
    }
    EXPECT_EQ(data_->take().back(), XItem("M_NOPE", "Where M_STOCK_ID='1'"));
    // No column at all: M_Price1 itself is asked for, and Mas_Stock has none.
    EXPECT_THROW(lookup("9552000000001", ""), EDatabaseError);
    EXPECT_EQ(data_->take().back(), XItem("", "Where M_STOCK_ID='1'"));
    // The connection serves the next scan.
    EXPECT_EQ(lookup("9552000000001").PriceText, "RM 21.90");
}

// Rows a POS database should not hold but a store's may, read over the server: a BLOB description and
// one of 32,765 bytes show their first characters in a whole frame; a price column that holds a number
// as text reads as that number, one that holds a word is a conversion error; a barcode row without its
// key finds nothing against text keys and is the engine's own error against integer keys.
TEST_F(FirebirdLookupTest, BadDataGivesItsAnswerOrAClearEngineError)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.constData();
    FirebirdFixture server;
    ASSERT_EQ(server.create("STD.FDB", {"standard-schema.sql", "bad-data-standard.sql"}), "");
    ASSERT_EQ(server.create("XE.FDB", {"extended-schema.sql", "bad-data-extended.sql"}), "");
    DataConnection standard(server.serverPath("STD.FDB"));
    DataConnection extended(server.serverPath("XE.FDB"));
    const FixedClock clock(Today, QTime(12, 0));
    const auto frameOf = [&](bool xe, const QByteArray& code, const QByteArray& level) -> QByteArray {
        try {
            const LookupResult r = (xe ? extended : standard).lookup(xe, clock, code, level, {});
            return r.Found ? ComposeItemFrame(r, code, false) : "not found";
        } catch (const EDatabaseError& e) {
            return e.what();
        }
    };
    EXPECT_EQ(frameOf(false, "BLOBDESC", "L1"), "\x1B"
                                                "B0\r\n\x1B$\r\n\x1B.0Kopi O Kosong 1kg, a\x03\r\n\x1B,0 \r\n"
                                                "\x1B.9a blob of a des\x03\r\n\x1B,00\r\n\x1B.9BLOBDESC\x03\r\n"
                                                "\x1B,0@\r\n\x1B.9\x03\r\n\x1B"
                                                "B1\r\n\x1B.8RM 12.50\x03\r\n");
    EXPECT_EQ(frameOf(true, "LONGDESC", "M_P1_S9"), "\x1B"
                                                    "B0\r\n\x1B$\r\n\x1B.0Long description =+=\x03\r\n"
                                                    "\x1B,0 \r\n\x1B.9=+=+=+=+=+=+=+=\x03\r\n\x1B,00\r\n"
                                                    "\x1B.9LONGDESC\x03\r\n\x1B,0@\r\n\x1B.9\x03\r\n\x1B"
                                                    "B1\r\n\x1B.8RM 7.50\x03\r\n");
    EXPECT_EQ(frameOf(false, "TEXTPRICE", "L1"), "conversion error from string \"twelve\"");
    EXPECT_EQ(frameOf(true, "TEXTPRICE", "M_P1_S9"), "conversion error from string \"seven\"");
    EXPECT_EQ(frameOf(false, "NULLKEY", "L1"), "not found");
    EXPECT_EQ(frameOf(true, "NULLKEY", "M_PRICE"), "conversion error from string \"\"");
}

TEST_F(FirebirdLookupTest, BothLayoutsOverTheServer)
{
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.constData();
    FirebirdFixture server;
    ASSERT_EQ(server.create("STANDARD.FDB", {"standard-schema.sql", "lookup-standard-edge.sql"}), "");
    ASSERT_EQ(server.create("EXTENDED.FDB", {"extended-schema.sql", "lookup-extended-edge.sql"}), "");
    ServiceSettings settings;
    settings.SendStoreShelf = true;

    DataConnection standard(server.serverPath("STANDARD.FDB"));
    FixedClock clock(Today, QTime(6, 30));
    LookupResult r = standard.lookup(false, clock, "TWOSHUT", "L1", settings);
    EXPECT_EQ(r.PriceText, "RM 6.00");
    EXPECT_EQ(r.ShelfText, "<NA>");
    EXPECT_EQ(standard.take(),
              (std::vector<QByteArray>{
                  StdBarcode + "'TWOSHUT'", StdFallback("'TWOSHUT'"), StdPrice("L117"),
                  "Select * From MAS_Stock_SHELF Where M_Store='S01' And M_PluLinkId='L117' order by M_UPDATE DESC"}));

    DataConnection extended(server.serverPath("EXTENDED.FDB"));
    r = extended.lookup(true, clock, "9552000000001", "M_P1_S1", settings);
    EXPECT_EQ(r.PriceText, "RM 19.50");
    EXPECT_EQ(r.ShelfText, "S02-LATEST");
    EXPECT_EQ(extended.take().size(), 3u);
}

} // namespace
} // namespace tarvel
