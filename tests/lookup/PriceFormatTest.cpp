#include "lookup/PriceFormat.h"

#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using tarvel::FormatPriceText;

TEST(PriceFormat, RoundsHalfAwayFromZeroOnTheEighteenDigitForm)
{
    EXPECT_EQ(FormatPriceText("RM", 12.5, '.'), "RM 12.50");
    EXPECT_EQ(FormatPriceText("RM", 0.125, '.'), "RM 0.13");
    EXPECT_EQ(FormatPriceText("RM", 2.675, '.'), "RM 2.67"); // held as 2.67499999999999982…
    EXPECT_EQ(FormatPriceText("RM", 0.995, '.'), "RM 0.99"); // held as 0.994999999999999996…
    EXPECT_EQ(FormatPriceText("RM", 0.005, '.'), "RM 0.01");
    EXPECT_EQ(FormatPriceText("RM", 0.0049, '.'), "RM 0.00");
    // Held as 1000000000000.2449951…, whose 18-digit form is …0.245.
    EXPECT_EQ(FormatPriceText("RM", 1000000000000.245, '.'), "RM 1000000000000.25");
    // Carries through every digit.
    EXPECT_EQ(FormatPriceText("RM", 99.995, '.'), "RM 100.00");
    EXPECT_EQ(FormatPriceText("RM", 19.999, '.'), "RM 20.00");
    EXPECT_EQ(FormatPriceText("RM", 0.0, '.'), "RM 0.00");
}

TEST(PriceFormat, NegativesKeepTheirSignUnlessTheyRoundToZero)
{
    EXPECT_EQ(FormatPriceText("RM", -1.5, '.'), "RM -1.50");
    EXPECT_EQ(FormatPriceText("RM", -0.125, '.'), "RM -0.13");
    EXPECT_EQ(FormatPriceText("RM", -0.005, '.'), "RM -0.01");
    EXPECT_EQ(FormatPriceText("RM", -0.004, '.'), "RM 0.00");
    EXPECT_EQ(FormatPriceText("RM", -0.0, '.'), "RM 0.00");
    EXPECT_EQ(FormatPriceText("RM", -1e-300, '.'), "RM 0.00");
}

TEST(PriceFormat, SymbolSeparatorAndMagnitudes)
{
    EXPECT_EQ(FormatPriceText("", 3.1, '.'), " 3.10");
    EXPECT_EQ(FormatPriceText("\xA3", 3.1, '.'), "\xA3 3.10");
    EXPECT_EQ(FormatPriceText("RM", 12.5, ','), "RM 12,50");
    EXPECT_EQ(FormatPriceText("RM", 1234567.891, ','), "RM 1234567,89");
    EXPECT_EQ(FormatPriceText("RM", 1e15, '.'), "RM 1000000000000000.00");
    EXPECT_EQ(FormatPriceText("RM", -1e15, '.'), "RM -1000000000000000.00");
    EXPECT_EQ(FormatPriceText("RM", 123456789012345678901.0, '.'), "RM 123456789012345684000.00");
    // Held as 1.00000000000000005…e300: 18 digits of it, then zeros.
    EXPECT_EQ(FormatPriceText("RM", 1e300, '.'), "RM 1" + QByteArray(16, '0') + "5" + QByteArray(283, '0') + ".00");
    const QByteArray biggest = FormatPriceText("", std::numeric_limits<double>::max(), '.');
    EXPECT_EQ(biggest.size(), 1 + 309 + 3);
    EXPECT_TRUE(biggest.startsWith(" 179769313486231571000")) << biggest.constData();
    EXPECT_EQ(FormatPriceText("RM", std::numeric_limits<double>::denorm_min(), '.'), "RM 0.00");
    EXPECT_EQ(FormatPriceText("RM", std::nan(""), '.'), "RM NAN");
    EXPECT_EQ(FormatPriceText("RM", std::numeric_limits<double>::infinity(), '.'), "RM INF");
    EXPECT_EQ(FormatPriceText("RM", -std::numeric_limits<double>::infinity(), '.'), "RM -INF");
}

TEST(PriceFormat, TakesTheSeparatorOfTheNumericLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(tarvel::HostDecimalSeparator(), '.');
    EXPECT_EQ(FormatPriceText("RM", 2.5), "RM 2.50");
    std::setlocale(LC_NUMERIC, saved.c_str());

    tarvel::CommaLocale comma;
    if (!comma.available())
        GTEST_SKIP() << "no comma locale could be made";
    EXPECT_EQ(tarvel::HostDecimalSeparator(), ',');
    // No thousands separator even where the locale has one.
    EXPECT_EQ(FormatPriceText("RM", 1234567.5), "RM 1234567,50");
}
