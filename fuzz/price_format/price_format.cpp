// The money text of any double with any currency symbol and separator: the symbol, a blank, then NAN,
// INF, -INF or digits with two decimals that read back within half a cent of the value (or within its
// 18 significant digits for a large one), and never "-0.00".

#include "FuzzInput.h"
#include "lookup/PriceFormat.h"

#include <cmath>
#include <cstdlib>
#include <string>

using namespace tarvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const auto value = in.number<double>();
    auto separator = in.number<char>();
    if (separator >= '0' && separator <= '9')
        separator = ','; // a digit would make the text unreadable here; no locale has one
    const QByteArray symbol = in.rest();

    const QByteArray text = FormatPriceText(symbol, value, separator);
    FUZZ_CHECK(text.startsWith(symbol + ' '));
    const QByteArray number = text.mid(symbol.size() + 1);
    if (std::isnan(value)) {
        FUZZ_CHECK(number == "NAN");
        return 0;
    }
    if (std::isinf(value)) {
        FUZZ_CHECK(number == (value < 0 ? "-INF" : "INF"));
        return 0;
    }
    const qsizetype point = number.size() - 3;
    FUZZ_CHECK(point >= 1 && number[point] == separator);
    const QByteArray digits = number.left(point).mid(number.startsWith('-') ? 1 : 0) + number.right(2);
    FUZZ_CHECK(!digits.isEmpty() && digits.count('0') + std::count_if(digits.begin(), digits.end(), [](char c) {
                                        return c >= '1' && c <= '9';
                                    }) == digits.size());
    FUZZ_CHECK(number != "-0" + QByteArray(1, separator) + "00");
    FUZZ_CHECK(digits.size() == 3 || digits[0] != '0');
    std::string readable = number.toStdString();
    readable[size_t(point)] = '.';
    const double back = std::strtod(readable.c_str(), nullptr);
    FUZZ_CHECK(std::fabs(back - value) <= 0.005 + std::fabs(value) * 1e-15); // the text, then its double
    return 0;
}
