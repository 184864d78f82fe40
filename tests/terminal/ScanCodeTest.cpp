#include "terminal/ScanCode.h"

#include <gtest/gtest.h>

using tarvel::CutCode;
using tarvel::TrimCheckDigits;

TEST(CutCode, PrefixForms)
{
    EXPECT_EQ(CutCode("\x02]C19555000000017\r"), "9555000000017");
    EXPECT_EQ(CutCode("FF9555000000017\r"), "9555000000017");
    EXPECT_EQ(CutCode("\x02"
                      "9555000000017\r"),
              "9555000000017");
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
