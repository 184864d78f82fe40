#pragma once

#include <QByteArray>

namespace tarvel {

// What an item lookup hands to the frame composer. When Found is false no other field is used.
struct LookupResult {
    bool Found = false;
    QByteArray Description;
    QByteArray ItemCode;
    QByteArray Barcode;
    QByteArray ItemKey;
    QByteArray PriceText;
    bool ShelfQueried = false;
    QByteArray ShelfText;
};

} // namespace tarvel
