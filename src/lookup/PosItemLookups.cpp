#include "lookup/PosItemLookups.h"

#include "base/ByteText.h"
#include "config/Settings.h"
#include "data/DatabaseActivity.h"
#include "data/EDatabaseError.h"
#include "data/PosConnections.h"
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

// The SQL texts of a scan, built afresh from fixed pieces and quoted values; the setup check's probe
// runs the same texts.
QByteArray ExtendedBarcodeSql(const QByteArray& code)
{
    return "Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode=" + QuoteSql(code);
}

// The price column is the one piece placed unquoted, read back under the name M_Price1.
QByteArray ExtendedItemSelect(const QByteArray& priceColumn)
{
    return "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, " + priceColumn + " M_Price1 From Mas_Stock ";
}

QByteArray ExtendedItemByKeySql(const QByteArray& priceColumn, const QByteArray& key)
{
    return ExtendedItemSelect(priceColumn) + "Where M_STOCK_ID=" + QuoteSql(key);
}

QByteArray ExtendedItemByCodeSql(const QByteArray& priceColumn, const QByteArray& code)
{
    return ExtendedItemSelect(priceColumn) + "Where M_STOCK_CODE=" + QuoteSql(code) + "Or M_BARCODE=" + QuoteSql(code);
}

// The latest shelf row of the item in any store.
QByteArray ExtendedShelfSql(const QByteArray& key)
{
    return "Select * From MAS_Stock_SHELF Where M_STOCK_ID=" + QuoteSql(key) + " order by M_DATE_UPDATE DESC";
}

QByteArray StandardBarcodeSql(const QByteArray& code)
{
    return "Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode=" + QuoteSql(code);
}

constexpr char kStandardItemSelect[] =
    "Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where ";

QByteArray StandardItemByKeySql(const QByteArray& key)
{
    return kStandardItemSelect + ("M_PluLinkId=" + QuoteSql(key));
}

QByteArray StandardItemByCodeSql(const QByteArray& code)
{
    return kStandardItemSelect + ("M_PLUCODE=" + QuoteSql(code)) + "Or M_ALU=" + QuoteSql(code)
         + "Or M_BARCODE=" + QuoteSql(code);
}

QByteArray StandardPriceSql(const QByteArray& key, const QByteArray& level)
{
    return "Select * From Mas_Stock_Price Where M_PluLinkId=" + QuoteSql(key) + " And M_Level=" + QuoteSql(level)
         + " AND M_QTY=1 AND M_OFQTY=1";
}

QByteArray StandardShelfSql(const QByteArray& store, const QByteArray& key)
{
    return "Select * From MAS_Stock_SHELF Where M_Store=" + QuoteSql(store) + " And M_PluLinkId=" + QuoteSql(key)
         + " order by M_UPDATE DESC";
}

// The item row's fields as a scan reads them: all of them, whatever the row holds.
LookupResult ReadExtendedItem(const Query& item, const QByteArray& currencySymbol)
{
    LookupResult result;
    result.ItemKey = item.FieldAsText("M_STOCK_ID");
    result.ItemCode = item.FieldAsText("M_STOCK_CODE");
    result.Barcode = item.FieldAsText("M_Barcode");
    result.PriceText = FormatPriceText(currencySymbol, item.FieldAsDouble("M_Price1"));
    result.Description = item.FieldAsText("M_DESC");
    result.Found = true;
    return result;
}

LookupResult ReadStandardItem(const Query& item)
{
    LookupResult result;
    result.ItemKey = item.FieldAsText("M_PluLinkId");
    result.ItemCode = item.FieldAsText("M_PluCode");
    result.Barcode = item.FieldAsText("M_Barcode");
    result.Description = item.FieldAsText("M_DESC");
    result.Found = true;
    return result;
}

// The probe's code and item key. No item carries it, and a key column of numbers takes it as one: an
// empty key, which a scan may send to a text column, is refused by an INTEGER M_STOCK_ID.
constexpr char kProbeValue[] = "-1";

// Which setting shapes the Vexa XE item query the engine refused: the price column, unless the engine
// names an unknown column that is not part of it (or a column the row lacks): then the table is no
// Vexa XE item table.
bool PriceColumnRefused(const QByteArray& priceColumn, const QByteArray& message)
{
    if (TrimBytes(priceColumn).isEmpty())
        return true;
    if (message.startsWith("Field '"))
        return false;
    QList<QByteArray> lines = message.split('\n');
    for (QByteArray& line : lines)
        line = TrimBytes(line.startsWith('-') ? line.mid(1) : line);
    const qsizetype unknown = lines.indexOf("Column unknown");
    if (unknown < 0 || unknown + 1 >= lines.size())
        return true;
    return priceColumn.toUpper().contains(lines[unknown + 1].toUpper());
}

// A probe step's failure as the operator reads it: which query of which layout, the setting that
// chose it, what follows for the scans, then the engine's own words.
QByteArray ProbeRefusal(const char* query, const RunContext& run, const QByteArray& message)
{
    const QByteArray name(query);
    QByteArray setting;
    if (name == "shelf")
        setting = QByteArray(" (") + kSendStoreShelf + "=T in Tarvel.ini)";
    else if (run.ExtendedLayout && name == "item" && PriceColumnRefused(run.ActivePriceLevel, message))
        setting = " at price column " + run.ActivePriceLevel + " (" + kFdbDataXePrice + " in Tarvel.ini)";
    else
        setting = run.ExtendedLayout ? QByteArray(" (") + kFdbDataXe + "=T in Tarvel.ini)"
                                     : QByteArray(" (") + kFdbDataXe + " is not T in Tarvel.ini)";
    const QByteArray layout = run.ExtendedLayout ? "the Vexa XE layout" : "the standard layout";
    const QByteArray scans = name == "barcode" || name == "item" ? "no scan" : "no scan of an item";
    return "the " + name + " query of " + layout + setting + " is refused, so " + scans + " would get a reply:\n"
         + message;
}

} // namespace

PosItemLookups::PosItemLookups(Query& qryTmp, Query& qryStockPrice, Query& qryStoreSHELF, const Clock& clock,
                               std::function<void()> reattached, DatabaseActivity* activity)
    : qryTmp_(qryTmp),
      qryStockPrice_(qryStockPrice),
      qryStoreSHELF_(qryStoreSHELF),
      clock_(clock),
      reattached_(std::move(reattached)),
      activity_(activity)
{
}

LookupResult PosItemLookups::LookupExtended(const QByteArray& code, const RunContext& run)
{
    DatabaseActivity::Call call(activity_);
    LookupResult result = RunReattaching([&] { return extended(code, run); }, reattached_);
    call.succeeded();
    return result;
}

LookupResult PosItemLookups::LookupStandard(const QByteArray& code, const RunContext& run)
{
    DatabaseActivity::Call call(activity_);
    LookupResult result = RunReattaching([&] { return standard(code, run); }, reattached_);
    call.succeeded();
    return result;
}

LookupResult PosItemLookups::extended(const QByteArray& code, const RunContext& run)
{
    const ServiceSettings& settings = run.Settings;
    qryTmp_.Open(ExtendedBarcodeSql(code));
    // A barcode row that points at no item is not found: the code is not tried as an item code then.
    qryTmp_.Open(qryTmp_.RowCount() != 0 ? ExtendedItemByKeySql(run.ActivePriceLevel, qryTmp_.FieldAsText("M_STOCK_ID"))
                                         : ExtendedItemByCodeSql(run.ActivePriceLevel, code));
    if (qryTmp_.RowCount() == 0)
        return {};
    LookupResult result = ReadExtendedItem(qryTmp_, settings.CurrencySymbol);
    if (settings.SendStoreShelf && !result.ItemKey.isEmpty())
        FetchShelf(qryStoreSHELF_, ExtendedShelfSql(result.ItemKey), result);
    return result;
}

LookupResult PosItemLookups::standard(const QByteArray& code, const RunContext& run)
{
    const ServiceSettings& settings = run.Settings;
    qryTmp_.Open(StandardBarcodeSql(code));
    qryTmp_.Open(qryTmp_.RowCount() != 0 ? StandardItemByKeySql(qryTmp_.FieldAsText("M_PluLinkId"))
                                         : StandardItemByCodeSql(code));
    if (qryTmp_.RowCount() == 0)
        return {};
    LookupResult result = ReadStandardItem(qryTmp_);

    // Runs with an empty key too: the item still shows, at the no-price text.
    qryStockPrice_.Open(StandardPriceSql(result.ItemKey, run.ActivePriceLevel));
    // With no price row the text is fixed, a point whatever the regional settings.
    result.PriceText = qryStockPrice_.RowCount() == 0
                         ? settings.CurrencySymbol + " 0.00"
                         : StandardPriceText(qryStockPrice_, settings.CurrencySymbol, clock_.Now());

    if (settings.SendStoreShelf && !result.ItemKey.isEmpty())
        FetchShelf(qryStoreSHELF_, StandardShelfSql(run.StoreCode, result.ItemKey), result);
    return result;
}

LookupProbe PosItemLookups::Probe(const RunContext& run)
{
    LookupProbe probe;
    const QByteArray value = kProbeValue;
    const QByteArray& currency = run.Settings.CurrencySymbol;
    // Each step reads what a scan reads of its result; on a result without rows that reads nothing
    // but the result's columns, so a column the database lacks still fails.
    const auto step = [&](const char* query, const std::function<void()>& body) {
        try {
            body();
        } catch (const EDatabaseError& error) {
            throw EDatabaseError(ProbeRefusal(query, run, error.what()).toStdString());
        }
        probe.queries.append(query);
    };
    if (run.ExtendedLayout) {
        step("barcode", [&] {
            qryTmp_.Open(ExtendedBarcodeSql(value));
            static_cast<void>(qryTmp_.FieldAsText("M_STOCK_ID"));
        });
        step("item", [&] {
            qryTmp_.Open(ExtendedItemByKeySql(run.ActivePriceLevel, value));
            ReadExtendedItem(qryTmp_, currency);
            qryTmp_.Open(ExtendedItemByCodeSql(run.ActivePriceLevel, value));
            ReadExtendedItem(qryTmp_, currency);
        });
        if (run.Settings.SendStoreShelf)
            step("shelf", [&] {
                qryStoreSHELF_.Open(ExtendedShelfSql(value));
                static_cast<void>(qryStoreSHELF_.FieldAsText("M_SHELF"));
            });
        return probe;
    }
    step("barcode", [&] {
        qryTmp_.Open(StandardBarcodeSql(value));
        static_cast<void>(qryTmp_.FieldAsText("M_PluLinkId"));
    });
    step("item", [&] {
        qryTmp_.Open(StandardItemByKeySql(value));
        ReadStandardItem(qryTmp_);
        qryTmp_.Open(StandardItemByCodeSql(value));
        ReadStandardItem(qryTmp_);
    });
    step("price", [&] {
        qryStockPrice_.Open(StandardPriceSql(value, run.ActivePriceLevel));
        // The columns every price row is read for; a promotion's others only once its window is open.
        StandardPriceText(qryStockPrice_, currency, clock_.Now());
        for (const PromotionColumns* promotion : {&Promotion1, &Promotion2})
            for (const char* column : {promotion->dateFrom, promotion->dateTo, promotion->timeFrom, promotion->timeTo,
                                       promotion->discPrice}) {
                try {
                    static_cast<void>(qryStockPrice_.FieldAsText(column));
                } catch (const EDatabaseError&) {
                    probe.warnings.append({Remark::Kind::Warning, "Mas_Stock_Price has no column " + QByteArray(column)
                                                                      + ": a scan of an item whose promotion "
                                                                      + (promotion == &Promotion1 ? "1" : "2")
                                                                      + " window is open would get no reply"});
                }
            }
    });
    if (run.Settings.SendStoreShelf)
        step("shelf", [&] {
            qryStoreSHELF_.Open(StandardShelfSql(run.StoreCode, value));
            static_cast<void>(qryStoreSHELF_.FieldAsText("M_SHELF"));
        });
    return probe;
}

LookupProbe ProbeScanQueries(PosConnections& pos, const ServiceSettings& settings, bool extendedLayout,
                             const QByteArray& level, const QByteArray& storeCode)
{
    RunContext run;
    run.Settings = settings;
    run.ExtendedLayout = extendedLayout;
    run.ActivePriceLevel = level;
    run.StoreCode = storeCode;
    const SystemClock clock;
    return PosItemLookups(pos.qryTmp(), pos.qryStockPrice(), pos.qryStoreSHELF(), clock).Probe(run);
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
