#pragma once

#include <QByteArray>

namespace tarvel {

// The one money text of the system: the currency symbol, a blank, and the value with the pattern
// "#0.00". The value is first taken to 18 significant digits, then cut after the second decimal,
// rounding up in magnitude when the third decimal is 5 or more (0.125 gives 0.13; 2.675, held as
// slightly less, gives 2.67). A negative that rounds to zero loses its sign. No thousands separator.
// NaN and the infinities are written NAN, INF and -INF. Never fails.
QByteArray FormatPriceText(const QByteArray& currencySymbol, double value, char decimalSeparator);

// As above with the host's decimal separator (HostDecimalSeparator).
QByteArray FormatPriceText(const QByteArray& currencySymbol, double value);

// The decimal point of the C library's current LC_NUMERIC locale, which the program takes from the
// host's regional settings at start-up (Qt does so when the application object is made). A point
// when that locale's decimal point is not a single byte.
char HostDecimalSeparator();

} // namespace tarvel
