#pragma once

#include <QByteArray>

namespace tarvel {

// What Start captures from "Tarvel.ini" for the run it begins; the pipeline and the lookups read it
// for every scan, and nothing changes it until the next Start.
struct ServiceSettings {
    bool TrimEan8Digits = false;
    bool TrimEan13Digits = false;
    bool SendStoreShelf = false;
    bool SendSkuBarcode = false;
    QByteArray CurrencySymbol = "RM";
};

// Everything one run of the service reads for each scan: built once by Start, after the database step
// has settled the price level, and left alone until the next Start.
struct RunContext {
    ServiceSettings Settings;
    // The extended-layout switch (FDB_DATA_XE): LookupExtended when on, LookupStandard otherwise.
    bool ExtendedLayout = false;
    // The store's price level in the standard layout; the price column's name in the extended layout.
    QByteArray ActivePriceLevel;
    // The store whose shelf rows the standard layout shows.
    QByteArray StoreCode;
};

} // namespace tarvel
