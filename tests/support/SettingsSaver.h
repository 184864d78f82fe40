#pragma once

// The two sets of the ten settings that tarvel-settings-saver saves in turn until it is killed, and that
// a test finds whole in the file afterwards, one or the other.

#include "config/Settings.h"

namespace tarvel {

inline SettingsValues SavedSet(bool second)
{
    SettingsValues v;
    v.TcpPort = second ? "9202" : "9101";
    v.DataFileName = second ? "server:/pos/SECOND.FDB" : "server:/pos/FIRST.FDB";
    v.ExtendedLayout = v.TrimEan8Digits = v.TrimEan13Digits = v.AutoStart = v.SendStoreShelf = v.SendSkuBarcode =
        second;
    v.PriceColumn = second ? "M_P1_S1" : "M_PRICE";
    v.CurrencySymbol = second ? "USD" : "RM";
    return v;
}

} // namespace tarvel
