#include "terminal/ScanCode.h"
#include "base/OperatorLog.h"
#include "base/Errors.h"
#include "base/ByteText.h"

#include <gtest/gtest.h>

using tarvel::CutCode;
using tarvel::TrimCheckDigits;

TEST(CutCode, PrefixForms)
{
    EXPECT_EQ(CutCode("\x02]C19555000000017\r"), "9555000000017");
    EXPECT_EQ(CutCode("FF9555000000017\r"), "9555000000017");
    EXPECT_EQ(CutCode("\x02" "9555000000017\r"), "9555000000017");
    // Character 1 is never examined for the ]C1 form.
    EXPECT_EQ(CutCode("Z]C1ABC\n"), "ABC");
    // Lower-case ff takes the one-leading-byte branch; so does ]c1.
    EXPECT_EQ(CutCode("ff123\r"), "f123");
    EXPECT_EQ(CutCode("\x02]c1123\r"), "]c1123");
    // The last byte goes whatever it is.
    EXPECT_EQ(CutCode("\x02]C1123"), "12");
}

TEST(CutCode, ShortMessagesGiveEmptyCodes)
{
    EXPECT_EQ(CutCode("x]C1"), "");
    EXPECT_EQ(CutCode("A"), "");
    EXPECT_EQ(CutCode(""), "");
    EXPECT_EQ(CutCode("FF"), "");
    EXPECT_EQ(CutCode("]C1"), "C"); // too short for ]C1 at 2..4: one leading byte and the last dropped
    EXPECT_EQ(CutCode("F"), "");
}

TEST(CheckDigits, TrimsByLengthOnly)
{
    tarvel::ServiceSettings s;
    EXPECT_EQ(TrimCheckDigits("95550001", s), "95550001");
    s.TrimEan8Digits = true;
    EXPECT_EQ(TrimCheckDigits("ABCDEFGH", s), "ABCDEFG");
    EXPECT_EQ(TrimCheckDigits("9555000000017", s), "9555000000017");
    s.TrimEan13Digits = true;
    EXPECT_EQ(TrimCheckDigits("9555000000017", s), "955500000001");
    EXPECT_EQ(TrimCheckDigits("Un-Registered", s), "Un-Registere");
    // An 8-character code cut to 7 is not touched again; a 14-character code is left alone.
    EXPECT_EQ(TrimCheckDigits("12345678", s), "1234567");
    EXPECT_EQ(TrimCheckDigits("12345678901234", s), "12345678901234");
    s.TrimEan8Digits = false;
    EXPECT_EQ(TrimCheckDigits("12345678", s), "12345678");
}

TEST(OperatorLogLabel, FitsToFortyCharacters)
{
    using tarvel::FormatLogLabel;
    EXPECT_EQ(FormatLogLabel(""), QByteArray(40, '.'));
    EXPECT_EQ(FormatLogLabel("+ FDB data connected") + tarvel::kStatusConnected,
              "+ FDB data connected...................." " [connected...]");
    EXPECT_EQ(FormatLogLabel("  Port No#    : 9101"), "Port No#    : 9101......................");
    EXPECT_EQ(FormatLogLabel("- IdTCPServer stopped ") + tarvel::kStatusDone,
              "- IdTCPServer stopped..................." " [done........]");
    EXPECT_EQ(FormatLogLabel("+ Client IP connected 192.168.1.51"), "+ Client IP connected 192.168.1.51......");
    const QByteArray forty(40, 'x');
    EXPECT_EQ(FormatLogLabel(forty), forty);
    EXPECT_EQ(FormatLogLabel(forty + "yz"), forty);
    EXPECT_EQ(tarvel::LogLineWithValue("> [RECV] " + QByteArray(35, '7'), "10.0.0.9"),
              "> [RECV] " + QByteArray(31, '7') + "[10.0.0.9]");
    // Blanks, tabs, CR and LF go from both ends; a CR inside stays.
    EXPECT_EQ(FormatLogLabel("\t\r\n a\rb \r\n"), "a\rb" + QByteArray(37, '.'));
}

TEST(GeneralErrorText, FullStopWhenLastByteIsAbovePeriod)
{
    EXPECT_EQ(tarvel::GeneralErrorText("Cannot create /x/Log/TarvelDb"), "Cannot create /x/Log/TarvelDb.");
    EXPECT_EQ(tarvel::GeneralErrorText("Done."), "Done.");
    EXPECT_EQ(tarvel::GeneralErrorText("Failed!"), "Failed!");
    EXPECT_EQ(tarvel::GeneralErrorText("port 9101"), "port 9101.");
    EXPECT_EQ(tarvel::GeneralErrorText(""), "");
}

TEST(QuoteSql, DoublesEveryQuote)
{
    EXPECT_EQ(tarvel::QuoteSql("O'K"), "'O''K'");
    EXPECT_EQ(tarvel::QuoteSql(""), "''");
    EXPECT_EQ(tarvel::QuoteSql("1' OR '1'='1"), "'1'' OR ''1''=''1'");
}
