#pragma once

#include "lookup/LookupResult.h"

#include <QByteArray>

namespace tarvel {

// The reply frames the price checker draws. Every line holds one display command and ends in CR LF.
// Text inside a command goes out byte for byte: no conversion, no escaping.

// The fixed 64-byte not-found screen.
const QByteArray& NotFoundFrame();

// The item screen for a found item. `code` is the scan code as the pipeline left it; `sendSkuBarcode`
// shows the item code and barcode instead of the scan code. Pure; cannot fail.
QByteArray ComposeItemFrame(const LookupResult& result, const QByteArray& code, bool sendSkuBarcode);

} // namespace tarvel
