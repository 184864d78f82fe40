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

} // namespace tarvel
