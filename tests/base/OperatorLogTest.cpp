#include "base/OperatorLog.h"

#include <gtest/gtest.h>

TEST(OperatorLogLabel, FitsToFortyCharacters)
{
    using tarvel::FormatLogLabel;
    EXPECT_EQ(FormatLogLabel(""), QByteArray(40, '.'));
    EXPECT_EQ(FormatLogLabel("+ FDB data connected") + tarvel::kStatusConnected,
              "+ FDB data connected...................."
              " [connected...]");
    EXPECT_EQ(FormatLogLabel("  Port No#    : 9101"), "Port No#    : 9101......................");
    EXPECT_EQ(FormatLogLabel("- IdTCPServer stopped ") + tarvel::kStatusDone, "- IdTCPServer stopped..................."
                                                                              " [done........]");
    EXPECT_EQ(FormatLogLabel("+ Client IP connected 192.168.1.51"), "+ Client IP connected 192.168.1.51......");
    const QByteArray forty(40, 'x');
    EXPECT_EQ(FormatLogLabel(forty), forty);
    EXPECT_EQ(FormatLogLabel(forty + "yz"), forty);
    EXPECT_EQ(tarvel::LogLineWithValue("> [RECV] " + QByteArray(35, '7'), "10.0.0.9"),
              "> [RECV] " + QByteArray(31, '7') + "[10.0.0.9]");
    // Blanks, tabs, CR and LF go from both ends; a CR inside stays.
    EXPECT_EQ(FormatLogLabel("\t\r\n a\rb \r\n"), "a\rb" + QByteArray(37, '.'));
}
