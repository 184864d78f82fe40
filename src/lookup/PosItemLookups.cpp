#include "lookup/PosItemLookups.h"

#include "base/ByteText.h"
#include "data/Reattach.h"
#include "lookup/PriceFormat.h"

#include <QDate>

namespace tarvel {

namespace {

// Today at 00:00:00, to compare with the stored date-times.
DateTime Midnight(const QDate& date)
{
    static const qint64 zeroDay = QDate(1899, 12, 30).toJulianDay();
    return {date.toJulianDay() - zeroDay, 0};
}

struct PromotionColumns {
    const char* dateActive;
    const char* dateFrom;
    const char* dateTo;
    const char* timeActive;
    const char* timeFrom;
    const char* timeTo;
    const char* discPrice;
};

constexpr PromotionColumns Promotion1{"M_DATEACTIVE", "M_DATEFROM", "M_DATETO",   "M_TIMEACTIVE",
                                      "M_TIMEFROM",   "M_TIMETO",   "M_DISCPRICE"};
constexpr PromotionColumns Promotion2{"M_DATEACTIVE2", "M_DATEFROM2", "M_DATETO2",   "M_TIMEACTIVE2",
                                      "M_TIMEFROM2",   "M_TIMETO2",   "M_DISCPRICE2"};

// The full stored values, both ends included: a last day of yesterday at 23:59:59.9999 is over by
// today's midnight. M_DATETO is read only once M_DATEFROM has let today in.
bool DateWindowOpen(const Query& row, const PromotionColumns& columns, const DateTime& today)
{
    if (!IsSwitchOn(row.FieldAsText(columns.dateActive)))
        return false;
    if (row.FieldAsDateTime(columns.dateFrom) > today)
        return false;
    return today <= row.FieldAsDateTime(columns.dateTo);
}

// Whole seconds of the stored times of day, the fraction dropped and the date ignored, both ends
// included; a window whose start lies after its end is never open.
bool TimeWindowOpen(const Query& row, const PromotionColumns& columns, int now)
{
    if (!IsSwitchOn(row.FieldAsText(columns.timeActive)))
        return false;
    const int start = row.FieldAsDateTime(columns.timeFrom).secondOfDay();
    const int end = row.FieldAsDateTime(columns.timeTo).secondOfDay();
    return start <= now && now <= end;
}

// Runs the shelf query and fills the shelf fields from its first row.
void FetchShelf(Query& qryStoreSHELF, const QByteArray& sql, LookupResult& result)
{
    qryStoreSHELF.Open(sql);
    result.ShelfQueried = true;
    result.ShelfText = qryStoreSHELF.Eof() ? QByteArray("<NA>") : qryStoreSHELF.FieldAsText("M_SHELF");
}

} // namespace

PosItemLookups::PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF, const Clock& clock,
                               std::function<void()> reattached)
    : qryTmp_(qryTmp),
      qryStockPrice_(qryStockPrice),
      qryStoreSHELF_(qryStoreSHELF),
      clock_(clock),
      reattached_(std::move(reattached))
{
}

LookupResult PosItemLookups::LookupExtended(const QByteArray& code, const RunContext& run)
{
    return RunReattaching([&] { return extended(code, run); }, reattached_);
}

LookupResult PosItemLookups::LookupStandard(const QByteArray& code, const RunContext& run)
{
    return RunReattaching([&] { return standard(code, run); }, reattached_);
}

LookupResult PosItemLookups::extended(const QByteArray& code, const RunContext& run)
{
    const ServiceSettings& settings = run.Settings;
    qryTmp_.Open("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode=" + QuoteSql(code));

    const QByteArray selectList = "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, " + run.ActivePriceLevel
                                + " M_Price1 From Mas_Stock ";
    // A barcode row that points at no item is not found: the code is not tried as an item code then.
    const QByteArray itemSql =
        qryTmp_.RowCount() != 0
            ? selectList + "Where M_STOCK_ID=" + QuoteSql(qryTmp_.FieldAsText("M_STOCK_ID"))
            : selectList + "Where M_STOCK_CODE=" + QuoteSql(code) + "Or M_BARCODE=" + QuoteSql(code);
    qryTmp_.Open(itemSql);
    if (qryTmp_.RowCount() == 0)
        return {};

    LookupResult result;
    result.ItemKey = qryTmp_.FieldAsText("M_STOCK_ID");
    result.ItemCode = qryTmp_.FieldAsText("M_STOCK_CODE");
    result.Barcode = qryTmp_.FieldAsText("M_Barcode");
    result.PriceText = FormatPriceText(settings.CurrencySymbol, qryTmp_.FieldAsDouble("M_Price1"));
    result.Description = qryTmp_.FieldAsText("M_DESC");
    result.Found = true;

    // The latest shelf row of the item in any store.
    if (settings.SendStoreShelf && !result.ItemKey.isEmpty())
        FetchShelf(qryStoreSHELF_,
                   "Select * From MAS_Stock_SHELF Where M_STOCK_ID=" + QuoteSql(result.ItemKey)
                       + " order by M_DATE_UPDATE DESC",
                   result);
    return result;
}

LookupResult PosItemLookups::standard(const QByteArray& code, const RunContext& run)
{
    const ServiceSettings& settings = run.Settings;
    qryTmp_.Open("Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode=" + QuoteSql(code));

    const QByteArray selectList =
        "Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where ";
    const QByteArray itemSql = qryTmp_.RowCount() != 0
                                 ? selectList + "M_PluLinkId=" + QuoteSql(qryTmp_.FieldAsText("M_PluLinkId"))
                                 : selectList + "M_PLUCODE=" + QuoteSql(code) + "Or M_ALU=" + QuoteSql(code)
                                       + "Or M_BARCODE=" + QuoteSql(code);
    qryTmp_.Open(itemSql);
    if (qryTmp_.RowCount() == 0)
        return {};

    LookupResult result;
    result.ItemKey = qryTmp_.FieldAsText("M_PluLinkId");
    result.ItemCode = qryTmp_.FieldAsText("M_PluCode");
    result.Barcode = qryTmp_.FieldAsText("M_Barcode");
    result.Description = qryTmp_.FieldAsText("M_DESC");
    result.Found = true;

    // Runs with an empty key too: the item still shows, at the no-price text.
    qryStockPrice_.Open("Select * From Mas_Stock_Price Where M_PluLinkId=" + QuoteSql(result.ItemKey)
                        + " And M_Level=" + QuoteSql(run.ActivePriceLevel) + " AND M_QTY=1 AND M_OFQTY=1");
    // With no price row the text is fixed, a point whatever the regional settings.
    result.PriceText = qryStockPrice_.RowCount() == 0
                         ? settings.CurrencySymbol + " 0.00"
                         : StandardPriceText(qryStockPrice_, settings.CurrencySymbol, clock_.Now());

    if (settings.SendStoreShelf && !result.ItemKey.isEmpty())
        FetchShelf(qryStoreSHELF_,
                   "Select * From MAS_Stock_SHELF Where M_Store=" + QuoteSql(run.StoreCode)
                       + " And M_PluLinkId=" + QuoteSql(result.ItemKey) + " order by M_UPDATE DESC",
                   result);
    return result;
}

QByteArray StandardPriceText(const Query& priceRow, const QByteArray& currencySymbol, const LocalMoment& now)
{
    QByteArray text = FormatPriceText(currencySymbol, priceRow.FieldAsDouble("M_PRICE"));
    const DateTime today = Midnight(now.date);
    // Each window is judged on its own and the last open one decides, so promotion 2 outranks
    // promotion 1, and a promotion's date and time windows are alternatives.
    for (const PromotionColumns* promotion : {&Promotion1, &Promotion2}) {
        if (DateWindowOpen(priceRow, *promotion, today))
            text = FormatPriceText(currencySymbol, priceRow.FieldAsDouble(promotion->discPrice));
        if (TimeWindowOpen(priceRow, *promotion, now.secondOfDay))
            text = FormatPriceText(currencySymbol, priceRow.FieldAsDouble(promotion->discPrice));
    }
    return text;
}

} // namespace tarvel
