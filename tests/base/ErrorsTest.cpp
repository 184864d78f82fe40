#include "base/Errors.h"

#include <gtest/gtest.h>

TEST(GeneralErrorText, FullStopWhenLastByteIsAbovePeriod)
{
    EXPECT_EQ(tarvel::GeneralErrorText("Cannot create /x/Log/TarvelDb"), "Cannot create /x/Log/TarvelDb.");
    EXPECT_EQ(tarvel::GeneralErrorText("Done."), "Done.");
    EXPECT_EQ(tarvel::GeneralErrorText("Failed!"), "Failed!");
    EXPECT_EQ(tarvel::GeneralErrorText("port 9101"), "port 9101.");
    EXPECT_EQ(tarvel::GeneralErrorText(""), "");
}
