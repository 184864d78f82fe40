#include "base/ByteText.h"

#include <gtest/gtest.h>

TEST(QuoteSql, DoublesEveryQuote)
{
    EXPECT_EQ(tarvel::QuoteSql("O'K"), "'O''K'");
    EXPECT_EQ(tarvel::QuoteSql(""), "''");
    EXPECT_EQ(tarvel::QuoteSql("1' OR '1'='1"), "'1'' OR ''1''=''1'");
}
