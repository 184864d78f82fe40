#include "lookup/PosItemLookups.h"
#include "mock/FakeQuery.h"
#include "mock/FixedClock.h"
#include "support/CommaLocale.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

const QByteArray BarcodeSql = "Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode=";
const QByteArray ItemSql = "Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where ";
const QByteArray PriceSql17 =
    "Select * From Mas_Stock_Price Where M_PluLinkId='17' And M_Level='L1' AND M_QTY=1 AND M_OFQTY=1";
const QByteArray ShelfSql17 =
    "Select * From MAS_Stock_SHELF Where M_Store='S01' And M_PluLinkId='17' order by M_UPDATE DESC";

const QDate Today(2024, 5, 15);

FakeResult ItemRow(QVariant link, QByteArray desc = "Teh Tarik 20s")
{
    return {{"M_DESC", "M_PLULINKID", "M_SHELF", "M_PLUCODE", "M_ALU", "M_BARCODE"},
            {{desc, link, QVariant(), QByteArray("P100"), QByteArray("ALU100"), QByteArray("9551234567890")}}};
}

// A price row with both promotions switched off; tests set the columns they need.
struct PriceRow {
    std::vector<std::pair<QByteArray, QVariant>> columns{{"M_PLULINKID", QByteArray("17")},
                                                         {"M_LEVEL", QByteArray("L1")},
                                                         {"M_PRICE", 10.0},
                                                         {"M_DATEACTIVE", QByteArray("F")},
                                                         {"M_DATEFROM", QVariant()},
                                                         {"M_DATETO", QVariant()},
                                                         {"M_TIMEACTIVE", QByteArray("F")},
                                                         {"M_TIMEFROM", QVariant()},
                                                         {"M_TIMETO", QVariant()},
                                                         {"M_DISCPRICE", 8.0},
                                                         {"M_DATEACTIVE2", QByteArray("F")},
                                                         {"M_DATEFROM2", QVariant()},
                                                         {"M_DATETO2", QVariant()},
                                                         {"M_TIMEACTIVE2", QByteArray("F")},
                                                         {"M_TIMEFROM2", QVariant()},
                                                         {"M_TIMETO2", QVariant()},
                                                         {"M_DISCPRICE2", 6.0}};

    PriceRow& set(const QByteArray& name, QVariant value)
    {
        for (auto& column : columns)
            if (column.first == name)
                column.second = value;
        return *this;
    }
    PriceRow& drop(const QByteArray& name)
    {
        std::erase_if(columns, [&](const auto& c) { return c.first == name; });
        return *this;
    }
    // Date window of promotion 1 (suffix "") or 2 (suffix "2").
    PriceRow& dates(const QByteArray& suffix, QVariant from, QVariant to, QByteArray active = "T")
    {
        return set("M_DATEACTIVE" + suffix, active).set("M_DATEFROM" + suffix, from).set("M_DATETO" + suffix, to);
    }
    PriceRow& times(const QByteArray& suffix, QTime from, QTime to, QByteArray active = "T")
    {
        return set("M_TIMEACTIVE" + suffix, active)
            .set("M_TIMEFROM" + suffix, DateTimeValue(QDate(1899, 12, 30), from))
            .set("M_TIMETO" + suffix, DateTimeValue(QDate(1899, 12, 30), to));
    }
    FakeResult result() const
    {
        FakeResult r;
        r.rows.emplace_back();
        for (const auto& column : columns) {
            r.columns.push_back(column.first);
            r.rows[0].push_back(column.second);
        }
        return r;
    }
};

class LookupStandardTest : public ::testing::Test {
protected:
    LookupStandardTest()
    {
        qryTmp.script(BarcodeSql + "'9551234567890'", {{"M_PLULINKID"}, {{QByteArray("17")}, {QByteArray("18")}}});
        qryTmp.script(ItemSql + "M_PluLinkId='17'", ItemRow(QByteArray("17")));
    }
    LookupResult lookup(const QByteArray& code = "9551234567890", const QByteArray& level = "L1")
    {
        run.ActivePriceLevel = level;
        return lookups.LookupStandard(code, run);
    }
    // The price text of the scanned item with this price row at this time of day today.
    QByteArray priceAt(const PriceRow& row, QTime time, QDate date = Today)
    {
        qryStockPrice.script(PriceSql17, row.result());
        clock.set(date, time);
        return lookup().PriceText;
    }
    FakeQuery qryTmp;
    FakeQuery qryStockPrice;
    FakeQuery qryStoreSHELF;
    FixedClock clock{Today, QTime(12, 0)};
    PosItemLookups lookups{qryTmp, qryStockPrice, qryStoreSHELF, clock};
    RunContext run{{}, false, "L1", "S01"};
    ServiceSettings& settings = run.Settings;
};

TEST_F(LookupStandardTest, BarcodeLeadsToItemPriceAndShelfOfThisStore)
{
    settings.SendStoreShelf = true;
    qryStockPrice.script(PriceSql17, PriceRow().result());
    qryStoreSHELF.script(ShelfSql17, {{"M_STORE", "M_PLULINKID", "M_SHELF"},
                                      {{QByteArray("S01"), QByteArray("17"), QByteArray("R2-B")}}});

    const LookupResult r = lookup();
    EXPECT_EQ(qryTmp.opened, (std::vector<QByteArray>{BarcodeSql + "'9551234567890'", ItemSql + "M_PluLinkId='17'"}));
    EXPECT_EQ(qryStockPrice.opened, std::vector<QByteArray>{PriceSql17});
    EXPECT_EQ(qryStoreSHELF.opened, std::vector<QByteArray>{ShelfSql17});
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Description, "Teh Tarik 20s");
    EXPECT_EQ(r.ItemCode, "P100");
    EXPECT_EQ(r.Barcode, "9551234567890");
    EXPECT_EQ(r.ItemKey, "17");
    EXPECT_EQ(r.PriceText, "RM 10.00");
    EXPECT_TRUE(r.ShelfQueried);
    EXPECT_EQ(r.ShelfText, "R2-B");
    // Switched-off promotions read only their switches.
    EXPECT_EQ(
        qryStockPrice.reads("M_DATEFROM") + qryStockPrice.reads("M_TIMEFROM") + qryStockPrice.reads("M_DISCPRICE"), 0);
}

TEST_F(LookupStandardTest, FallbackFormAndNotFound)
{
    const QByteArray fallback = ItemSql + "M_PLUCODE='ALU100'Or M_ALU='ALU100'Or M_BARCODE='ALU100'";
    qryTmp.script(fallback, ItemRow(QByteArray("17")));
    EXPECT_TRUE(lookup("ALU100").Found);
    EXPECT_EQ(qryTmp.opened.back(), fallback);

    // A barcode row whose link has no item: not found, the fallback is not tried, no price query.
    qryTmp.script(BarcodeSql + "'ALU100'", {{"M_PLULINKID"}, {{QByteArray("404")}}});
    qryStockPrice.opened.clear();
    const LookupResult r = lookup("ALU100");
    EXPECT_EQ(qryTmp.opened.back(), ItemSql + "M_PluLinkId='404'");
    EXPECT_FALSE(r.Found);
    EXPECT_TRUE(r.ItemKey.isEmpty() && r.PriceText.isEmpty() && r.Description.isEmpty());
    EXPECT_TRUE(qryStockPrice.opened.empty());

    lookup("1' OR '1'='1");
    EXPECT_EQ(qryTmp.opened.back(),
              ItemSql + "M_PLUCODE='1'' OR ''1''=''1'Or M_ALU='1'' OR ''1''=''1'Or M_BARCODE='1'' OR ''1''=''1'");
}

TEST_F(LookupStandardTest, NoPriceRowGivesTheFixedTextWithAPoint)
{
    settings.CurrencySymbol = "$";
    EXPECT_EQ(lookup("9551234567890", "PRCERR").PriceText, "$ 0.00");
    EXPECT_EQ(qryStockPrice.opened.back(),
              "Select * From Mas_Stock_Price Where M_PluLinkId='17' And M_Level='PRCERR' AND M_QTY=1 AND M_OFQTY=1");

    CommaLocale comma;
    if (!comma.available())
        GTEST_SKIP() << "no comma locale could be made";
    EXPECT_EQ(lookup().PriceText, "$ 0.00");
    EXPECT_EQ(priceAt(PriceRow().set("M_PRICE", 0.0), QTime(12, 0)), "$ 0,00");
}

TEST_F(LookupStandardTest, EmptyItemKeyStillRunsThePriceQueryButNoShelf)
{
    settings.SendStoreShelf = true;
    qryTmp.script(ItemSql + "M_PluLinkId='17'", ItemRow(QVariant()));
    const LookupResult r = lookup();
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.ItemKey, "");
    EXPECT_EQ(qryStockPrice.opened.back(),
              "Select * From Mas_Stock_Price Where M_PluLinkId='' And M_Level='L1' AND M_QTY=1 AND M_OFQTY=1");
    EXPECT_FALSE(r.ShelfQueried);
    EXPECT_TRUE(qryStoreSHELF.opened.empty());

    // Shelf rows only in other stores: this store's query finds none.
    qryTmp.script(ItemSql + "M_PluLinkId='17'", ItemRow(QByteArray("17")));
    EXPECT_EQ(lookup().ShelfText, "<NA>");
    settings.SendStoreShelf = false;
    EXPECT_FALSE(lookup().ShelfQueried);
    EXPECT_EQ(qryStoreSHELF.opened.size(), 1u);
}

TEST_F(LookupStandardTest, DateWindowAgainstTodayAtMidnight)
{
    const QTime noon(12, 0);
    const QVariant yesterday = DateTimeValue(Today.addDays(-1));
    const QVariant tomorrow = DateTimeValue(Today.addDays(1));
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow), noon), "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow().dates("", DateTimeValue(Today), DateTimeValue(Today)), QTime(23, 59, 59)), "RM 8.00");
    // A last day at any time keeps all of it open; a first day after midnight opens tomorrow only.
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, DateTimeValue(Today, QTime(0, 0, 1))), QTime(23, 0)), "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow().dates("", DateTimeValue(Today, QTime(0, 0, 1)), tomorrow), QTime(23, 0)), "RM 10.00");
    EXPECT_EQ(
        priceAt(PriceRow().dates("", DateTimeValue(Today, QTime(0, 0, 1)), tomorrow), QTime(0, 0), Today.addDays(1)),
        "RM 8.00");
    EXPECT_EQ(
        priceAt(PriceRow().dates("", yesterday, DateTimeValue(Today.addDays(-1), QTime(23, 59, 59))), QTime(0, 0)),
        "RM 10.00");
    // NULL: a missing first day never closes, a missing last day always does.
    EXPECT_EQ(priceAt(PriceRow().dates("", QVariant(), tomorrow), noon), "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, QVariant()), noon), "RM 10.00");
    // Only exactly "T" switches a window on.
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow, "t"), noon), "RM 10.00");
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow, "T "), noon), "RM 10.00");
    // An open window with a NULL promotion price.
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow).set("M_DISCPRICE", QVariant()), noon), "RM 0.00");
}

TEST_F(LookupStandardTest, TimeWindowInWholeSecondsBothEndsIncluded)
{
    const PriceRow day = PriceRow().times("", QTime(9, 0), QTime(17, 30));
    EXPECT_EQ(priceAt(day, QTime(8, 59, 59)), "RM 10.00");
    EXPECT_EQ(priceAt(day, QTime(9, 0, 0)), "RM 8.00");
    EXPECT_EQ(priceAt(day, QTime(17, 30, 0)), "RM 8.00");
    EXPECT_EQ(priceAt(day, QTime(17, 30, 1)), "RM 10.00");

    const PriceRow second = PriceRow().times("", QTime(12, 0), QTime(12, 0));
    EXPECT_EQ(priceAt(second, QTime(11, 59, 59)), "RM 10.00");
    EXPECT_EQ(priceAt(second, QTime(12, 0, 0)), "RM 8.00");
    EXPECT_EQ(priceAt(second, QTime(12, 0, 1)), "RM 10.00");

    // Over midnight: never open.
    const PriceRow night = PriceRow().times("", QTime(22, 0), QTime(2, 0));
    for (int hour = 0; hour < 24; ++hour)
        EXPECT_EQ(priceAt(night, QTime(hour, 30)), "RM 10.00") << hour;

    // Held a hair below the second, or with milliseconds, or on a real date: still that second.
    const double noonValue = 0.5;
    EXPECT_EQ(priceAt(PriceRow()
                          .set("M_TIMEACTIVE", QByteArray("T"))
                          .set("M_TIMEFROM", noonValue - 1e-12)
                          .set("M_TIMETO", 45000.0 + noonValue + 999.0 / 86400000.0),
                      QTime(12, 0, 0)),
              "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow()
                          .set("M_TIMEACTIVE", QByteArray("T"))
                          .set("M_TIMEFROM", noonValue - 1e-12)
                          .set("M_TIMETO", 45000.0 + noonValue + 999.0 / 86400000.0),
                      QTime(12, 0, 1)),
              "RM 10.00");
    // Before the zero day the fraction counts away from zero: -1.375 is 29 December 1899, 09:00.
    EXPECT_EQ(priceAt(PriceRow().set("M_TIMEACTIVE", QByteArray("T")).set("M_TIMEFROM", -1.375).set("M_TIMETO", 0.375),
                      QTime(9, 0, 0)),
              "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow().set("M_TIMEACTIVE", QByteArray("T")).set("M_TIMEFROM", -1.375).set("M_TIMETO", 0.375),
                      QTime(8, 59, 59)),
              "RM 10.00");
    // NULL ends read as 00:00:00.
    EXPECT_EQ(priceAt(PriceRow().set("M_TIMEACTIVE", QByteArray("T")), QTime(0, 0)), "RM 8.00");
    EXPECT_EQ(priceAt(PriceRow().set("M_TIMEACTIVE", QByteArray("T")), QTime(0, 0, 1)), "RM 10.00");
    EXPECT_EQ(priceAt(PriceRow().times("", QTime(0, 0), QTime(23, 59, 59), "t"), QTime(12, 0)), "RM 10.00");
}

TEST_F(LookupStandardTest, DateAndTimeWindowsAreAlternativesAndPromotionTwoWins)
{
    const QVariant yesterday = DateTimeValue(Today.addDays(-1));
    const QVariant tomorrow = DateTimeValue(Today.addDays(1));
    const QVariant lastWeek = DateTimeValue(Today.addDays(-7));
    // Date open, time closed; and date closed, time open during its hours only.
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow).times("", QTime(6, 0), QTime(7, 0)), QTime(12, 0)),
              "RM 8.00");
    const PriceRow timeOnly = PriceRow().dates("", lastWeek, yesterday).times("", QTime(6, 0), QTime(7, 0));
    EXPECT_EQ(priceAt(timeOnly, QTime(6, 30)), "RM 8.00");
    EXPECT_EQ(priceAt(timeOnly, QTime(12, 0)), "RM 10.00");

    const PriceRow both = PriceRow().dates("", yesterday, tomorrow).dates("2", yesterday, tomorrow);
    EXPECT_EQ(priceAt(both, QTime(12, 0)), "RM 6.00");
    EXPECT_EQ(priceAt(PriceRow().dates("", yesterday, tomorrow).times("2", QTime(6, 0), QTime(7, 0)), QTime(12, 0)),
              "RM 8.00");
    EXPECT_EQ(
        priceAt(PriceRow().times("", QTime(6, 0), QTime(7, 0)).times("2", QTime(6, 0), QTime(6, 10)), QTime(6, 5)),
        "RM 6.00");
    EXPECT_EQ(priceAt(PriceRow().times("2", QTime(6, 0), QTime(6, 10)), QTime(6, 11)), "RM 10.00");
}

TEST_F(LookupStandardTest, PromotionColumnsAreReadOnlyWhenTheirStepIsReached)
{
    const QVariant yesterday = DateTimeValue(Today.addDays(-1));
    const QVariant tomorrow = DateTimeValue(Today.addDays(1));

    // A first day after today: the last day and the promotion price are never read.
    EXPECT_EQ(priceAt(PriceRow().dates("", tomorrow, tomorrow).drop("M_DATETO").drop("M_DISCPRICE"), QTime(12, 0)),
              "RM 10.00");
    EXPECT_EQ(qryStockPrice.reads("M_DATEFROM"), 1);
    EXPECT_EQ(qryStockPrice.reads("M_DATETO"), 0);

    // Both time ends are read whenever the switch is on; the price only in an open window.
    EXPECT_EQ(priceAt(PriceRow().times("", QTime(6, 0), QTime(7, 0)).drop("M_DISCPRICE"), QTime(12, 0)), "RM 10.00");
    EXPECT_THROW(priceAt(PriceRow().times("", QTime(6, 0), QTime(7, 0)).drop("M_TIMETO"), QTime(5, 0)), EDatabaseError);

    // A price table without M_DISCPRICE fails only while promotion 1 is open.
    const PriceRow noDisc = PriceRow().dates("", yesterday, tomorrow).drop("M_DISCPRICE");
    EXPECT_THROW(priceAt(noDisc, QTime(12, 0)), EDatabaseError);
    EXPECT_EQ(priceAt(PriceRow().drop("M_DISCPRICE").drop("M_DATEFROM").drop("M_DISCPRICE2"), QTime(12, 0)),
              "RM 10.00");

    // Switched off: nothing but the switch is read.
    EXPECT_EQ(
        priceAt(PriceRow().drop("M_DATEFROM2").drop("M_DATETO2").drop("M_TIMEFROM2").drop("M_TIMETO2"), QTime(12, 0)),
        "RM 10.00");
}

} // namespace
} // namespace tarvel
