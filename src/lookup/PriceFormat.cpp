#include "lookup/PriceFormat.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>

namespace tarvel {

namespace {

constexpr int SignificantDigits = 18;

// The value's decimal digits at places 10^top down to 10^-2, rounded half away from zero on the
// third decimal of its 18-digit form. Returns the digits, most significant first, as '0'..'9'.
QByteArray RoundedDigits(double magnitude)
{
    // Scientific form with 18 significant digits: "d.ddddddddddddddddde+XX". to_chars ignores the
    // locale and rounds correctly.
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, SignificantDigits - 1);
    if (ec != std::errc())
        return "000";
    const char* ePos = static_cast<const char*>(std::memchr(buffer, 'e', end - buffer));
    QByteArray mantissa;
    for (const char* p = buffer; p < ePos; ++p)
        if (*p != '.')
            mantissa += *p;
    // The exponent ends where to_chars stopped: the buffer holds no terminating zero, and what lies
    // after it is whatever the stack held.
    const char* exponentStart = ePos + 1 + (ePos[1] == '+' ? 1 : 0);
    int exponent = 0;
    std::from_chars(exponentStart, end, exponent);

    // Digit at place 10^p of the 18-digit form; zero outside it.
    auto digitAt = [&](int place) -> int {
        const int index = exponent - place;
        return index >= 0 && index < mantissa.size() ? mantissa[index] - '0' : 0;
    };

    const int top = exponent > 0 ? exponent : 0;
    QByteArray digits;
    digits.reserve(top + 4);
    for (int place = top; place >= -2; --place)
        digits += char('0' + digitAt(place));

    if (digitAt(-3) >= 5) {
        qsizetype i = digits.size() - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0)
            digits[i] = char(digits[i] + 1);
        else
            digits.prepend('1');
    }
    return digits;
}

} // namespace

QByteArray FormatPriceText(const QByteArray& currencySymbol, double value, char decimalSeparator)
{
    QByteArray text = currencySymbol + ' ';
    if (std::isnan(value))
        return text + "NAN";
    if (std::isinf(value))
        return text + (value < 0 ? "-INF" : "INF");

    QByteArray digits = RoundedDigits(std::fabs(value));
    // At least one digit before the separator.
    qsizetype lead = 0;
    while (lead < digits.size() - 3 && digits[lead] == '0')
        ++lead;
    digits.remove(0, lead);

    const bool zero = digits.count('0') == digits.size();
    if (value < 0 && !zero)
        text += '-';
    text += digits.left(digits.size() - 2);
    text += decimalSeparator;
    text += digits.right(2);
    return text;
}

QByteArray FormatPriceText(const QByteArray& currencySymbol, double value)
{
    return FormatPriceText(currencySymbol, value, HostDecimalSeparator());
}

char HostDecimalSeparator()
{
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions ? conventions->decimal_point : nullptr;
    if (point && point[0] != '\0' && point[1] == '\0')
        return point[0];
    return '.';
}

} // namespace tarvel
