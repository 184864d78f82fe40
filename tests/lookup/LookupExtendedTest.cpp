#include "lookup/PosItemLookups.h"
#include "mock/FakeQuery.h"
#include "mock/FixedClock.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

const QByteArray ItemColumns =
    "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, M_PRICE M_Price1 From Mas_Stock ";

FakeResult ItemRow(QVariant id, QByteArray code, QByteArray barcode, QVariant price, QByteArray desc = "Milo 1kg Tin")
{
    return {{"M_DESC", "M_STOCK_ID", "M_SHELF", "M_STOCK_CODE", "M_BARCODE", "M_PRICE1"},
            {{desc, id, QByteArray("A1"), code, barcode, price}}};
}

FakeResult StockIdRows(std::vector<QByteArray> ids)
{
    FakeResult r{{"M_STOCK_ID"}, {}};
    for (const QByteArray& id : ids)
        r.rows.push_back({id});
    return r;
}

FakeResult ShelfRows(std::vector<QVariant> shelves)
{
    FakeResult r{{"M_STOCK_ID", "M_SHELF", "M_DATE_UPDATE"}, {}};
    for (const QVariant& shelf : shelves)
        r.rows.push_back({QByteArray("17"), shelf, 45000.0});
    return r;
}

class LookupExtendedTest : public ::testing::Test {
protected:
    LookupResult lookup(const QByteArray& code, const QByteArray& column = "M_PRICE")
    {
        run.ActivePriceLevel = column;
        return lookups.LookupExtended(code, run);
    }
    FakeQuery qryTmp;
    FakeQuery qryStockPrice;
    FakeQuery qryStoreSHELF;
    FixedClock clock{QDate(2024, 5, 15), QTime(12, 0)};
    PosItemLookups lookups{qryTmp, qryStockPrice, qryStoreSHELF, clock};
    RunContext run{{}, true, "M_PRICE", "S01"};
    ServiceSettings& settings = run.Settings;
};

TEST_F(LookupExtendedTest, BarcodeRowLeadsToTheItemAndItsLatestShelf)
{
    settings.SendStoreShelf = true;
    qryTmp.script("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='9555000000017'",
                  StockIdRows({"17", "18"}));
    qryTmp.script(ItemColumns + "Where M_STOCK_ID='17'", ItemRow(QByteArray("17"), "M001", "9555000000017", 21.9));
    qryStoreSHELF.script("Select * From MAS_Stock_SHELF Where M_STOCK_ID='17' order by M_DATE_UPDATE DESC",
                         ShelfRows({QByteArray("B-07"), QByteArray("A-01")}));

    const LookupResult r = lookup("9555000000017");
    EXPECT_EQ(qryTmp.opened,
              (std::vector<QByteArray>{"Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='9555000000017'",
                                       ItemColumns + "Where M_STOCK_ID='17'"}));
    EXPECT_EQ(qryStoreSHELF.opened.size(), 1u);
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Description, "Milo 1kg Tin");
    EXPECT_EQ(r.ItemCode, "M001");
    EXPECT_EQ(r.Barcode, "9555000000017");
    EXPECT_EQ(r.ItemKey, "17");
    EXPECT_EQ(r.PriceText, "RM 21.90");
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "B-07");
}

TEST_F(LookupExtendedTest, WithoutBarcodeRowTheCodeIsTriedAsItemCodeAndItemBarcode)
{
    settings.CurrencySymbol = "";
    const QByteArray fallback = ItemColumns + "Where M_STOCK_CODE='M001'Or M_BARCODE='M001'";
    qryTmp.script(fallback, ItemRow(QByteArray("17"), "M001", "955", 0.125));

    const LookupResult r = lookup("M001");
    ASSERT_EQ(qryTmp.opened.size(), 2u);
    EXPECT_EQ(qryTmp.opened[1], fallback);
    EXPECT_EQ(r.PriceText, " 0.13");
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "");
    EXPECT_TRUE(qryStoreSHELF.opened.empty());
}

TEST_F(LookupExtendedTest, BarcodeRowPointingNowhereIsNotFound)
{
    settings.SendStoreShelf = true;
    qryTmp.script("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='M001'", StockIdRows({"99"}));
    // The code is also an item code, but that form is not tried.
    qryTmp.script(ItemColumns + "Where M_STOCK_CODE='M001'Or M_BARCODE='M001'",
                  ItemRow(QByteArray("17"), "M001", "", 1.0));

    const LookupResult r = lookup("M001");
    EXPECT_EQ(qryTmp.opened.back(), ItemColumns + "Where M_STOCK_ID='99'");
    EXPECT_FALSE(r.Found);
    EXPECT_TRUE(r.Description.isEmpty() && r.ItemKey.isEmpty() && r.PriceText.isEmpty() && r.ShelfText.isEmpty());
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_TRUE(qryStoreSHELF.opened.empty());
}

TEST_F(LookupExtendedTest, QuotesInTheCodeAreDoubledInEveryQuery)
{
    lookup("1' OR '1'='1");
    EXPECT_EQ(qryTmp.opened,
              (std::vector<QByteArray>{"Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='1'' OR ''1''=''1'",
                                       ItemColumns
                                           + "Where M_STOCK_CODE='1'' OR ''1''=''1'Or M_BARCODE='1'' OR ''1''=''1'"}));
}

TEST_F(LookupExtendedTest, PriceColumnIsPlacedUnquotedAndReadAsM_Price1)
{
    lookup("X", "M_P1_S3");
    EXPECT_EQ(qryTmp.opened[1], "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, M_P1_S3 M_Price1 "
                                "From Mas_Stock Where M_STOCK_CODE='X'Or M_BARCODE='X'");
    lookup("X", "");
    EXPECT_EQ(qryTmp.opened[3], "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode,  M_Price1 "
                                "From Mas_Stock Where M_STOCK_CODE='X'Or M_BARCODE='X'");
}

TEST_F(LookupExtendedTest, ShelfRules)
{
    const QByteArray item = ItemColumns + "Where M_STOCK_CODE='C'Or M_BARCODE='C'";
    const QByteArray shelf = "Select * From MAS_Stock_SHELF Where M_STOCK_ID='17' order by M_DATE_UPDATE DESC";
    qryTmp.script(item, ItemRow(QByteArray("17"), "C", "", QVariant()));

    settings.SendStoreShelf = true;
    LookupResult r = lookup("C");
    EXPECT_EQ(r.PriceText, "RM 0.00"); // NULL price
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "<NA>");

    qryStoreSHELF.script(shelf, ShelfRows({QVariant()}));
    r = lookup("C");
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, ""); // NULL shelf is not "<NA>"
    EXPECT_EQ(qryStoreSHELF.opened, (std::vector<QByteArray>{shelf, shelf}));

    // A NULL item key: no shelf query, whatever the switch says.
    qryTmp.script(item, ItemRow(QVariant(), "C", "", 2.0));
    r = lookup("C");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.ItemKey, "");
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_EQ(qryStoreSHELF.opened.size(), 2u);
}

TEST_F(LookupExtendedTest, AnyNonZeroRowCountMeansRows)
{
    qryTmp.rowCountOverride = -1;
    qryTmp.script("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='C'", StockIdRows({"5"}));
    qryTmp.script(ItemColumns + "Where M_STOCK_ID='5'", ItemRow(QByteArray("5"), "C", "", 1.0));
    EXPECT_TRUE(lookup("C").Found);
}

TEST_F(LookupExtendedTest, EngineErrorsStopTheLookupAtTheirStep)
{
    settings.SendStoreShelf = true;
    // The price column is not a column: the engine refuses the item query.
    qryTmp.script("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode='C'", StockIdRows({"5"}));
    qryTmp.refuse("Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, M_NOPE M_Price1 From Mas_Stock "
                  "Where M_STOCK_ID='5'",
                  "Column unknown M_NOPE");
    EXPECT_THROW(lookup("C", "M_NOPE"), EDatabaseError);
    EXPECT_EQ(qryTmp.opened.size(), 2u);
    EXPECT_TRUE(qryStoreSHELF.opened.empty());

    // A row without the column the step reads.
    FakeResult noPrice = ItemRow(QByteArray("5"), "C", "", 1.0);
    noPrice.columns[5] = "M_PRICE";
    qryTmp.script(ItemColumns + "Where M_STOCK_ID='5'", noPrice);
    const size_t shelvesBefore = qryStoreSHELF.opened.size();
    EXPECT_THROW(lookup("C"), EDatabaseError);
    EXPECT_EQ(qryStoreSHELF.opened.size(), shelvesBefore);

    qryTmp.failNextOpen("Unable to complete network request to host");
    EXPECT_THROW(lookup("C"), EDatabaseError);
}

} // namespace
} // namespace tarvel
