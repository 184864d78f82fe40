#include "terminal/Frames.h"

#include <gtest/gtest.h>

using tarvel::ComposeItemFrame;
using tarvel::LookupResult;

namespace {

// Frames are written here as hex so every byte is visible.
QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

const QByteArray B0 = Hex("1b4230 0d0a");
const QByteArray HOME = Hex("1b24 0d0a");
const QByteArray BODY1 = Hex("1b2c3020 0d0a");
const QByteArray BODY2 = Hex("1b2c3030 0d0a");
const QByteArray SHELF = Hex("1b2c3040 0d0a");
const QByteArray B1 = Hex("1b4231 0d0a");

QByteArray Text(char selector, const QByteArray& text) { return QByteArray("\x1b.") + selector + text + "\x03\r\n"; }

LookupResult Item(const QByteArray& description)
{
    LookupResult r;
    r.Found = true;
    r.Description = description;
    r.ItemCode = "SKU-77";
    r.Barcode = "9555000000017";
    r.ItemKey = "77";
    r.PriceText = "RM 3.50";
    return r;
}

} // namespace

TEST(NotFoundFrame, IsTheFixed64Bytes)
{
    const QByteArray expected = Hex("1b42300d0a 1b240d0a 1b2c30200d0a"
                                    "1b2e3a4974656d206e6f7420666f756e64030d0a"
                                    "1b2c30300d0a"
                                    "1b2e3a506c65617365207363616e20616761696e030d0a");
    EXPECT_EQ(tarvel::NotFoundFrame().size(), 64);
    EXPECT_EQ(tarvel::NotFoundFrame(), expected);
}

TEST(ItemFrame, ShortFormForShortDescriptionNineLines)
{
    // 13 characters, neither SKU+barcode nor shelf: the example screen.
    const QByteArray frame = ComposeItemFrame(Item("Milo 1kg Tin."), "9555000000017", false);
    const QByteArray expected = B0 + HOME + Text('0', "Milo 1kg Tin.") + BODY1 + Text('9', "9555000000017") + BODY2
                              + Text('9', "") + B1 + Text('8', "RM 3.50");
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.count("\r\n"), 9);
}

TEST(ItemFrame, TwentyCharacterDescriptionRepeatsItsLastCharacterInLongForm)
{
    const QByteArray d = "ABCDEFGHIJKLMNOPQRST"; // exactly 20
    const QByteArray frame = ComposeItemFrame(Item(d), "123", false);
    const QByteArray expected = B0 + HOME + Text('0', d) + BODY1 + Text('9', "T") + BODY2 + Text('9', "123") + SHELF
                              + Text('9', "") + B1 + Text('8', "RM 3.50");
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.count("\r\n"), 11);
}

TEST(ItemFrame, BlankTwentiethCharacterOrBlankTailGivesShortForm)
{
    const QByteArray blank20 = "ABCDEFGHIJKLMNOPQRS ";
    EXPECT_EQ(ComposeItemFrame(Item(blank20), "1", false).count("\r\n"), 9);
    // Characters 20 to 34 all blanks or control bytes, something after 34: still short.
    const QByteArray blankTail = "ABCDEFGHIJKLMNOPQRS" + QByteArray(10, ' ') + "\t\r\n   " + "XYZ";
    ASSERT_GT(blankTail.size(), 34);
    const QByteArray frame = ComposeItemFrame(Item(blankTail), "1", false);
    EXPECT_EQ(frame.count("\r\n"), 9);
    EXPECT_TRUE(frame.contains(Text('0', blankTail.left(20))));
    EXPECT_FALSE(frame.contains("XYZ"));
}

TEST(ItemFrame, FortyCharacterDescriptionSendsOneToTwentyAndTwentyToThirtyFour)
{
    const QByteArray d = "0123456789abcdefghijKLMNOPQRSTUVWXYZ!@#$"; // 40
    ASSERT_EQ(d.size(), 40);
    const QByteArray frame = ComposeItemFrame(Item(d), "C", false);
    EXPECT_TRUE(frame.contains(Text('0', "0123456789abcdefghij")));
    EXPECT_TRUE(frame.contains(Text('9', "jKLMNOPQRSTUVWX")));
    EXPECT_FALSE(frame.contains("YZ!@#$"));
}

TEST(ItemFrame, BarcodeFormShowsItemCodeAndBarcodeNeverTheScanCode)
{
    LookupResult r = Item("Short");
    const QByteArray frame = ComposeItemFrame(r, "SCANNED", true);
    const QByteArray expected = B0 + HOME + Text('0', "Short") + BODY1 + Text('9', "SKU-77") + BODY2
                              + Text('9', "9555000000017") + SHELF + Text('9', "") + B1 + Text('8', "RM 3.50");
    EXPECT_EQ(frame, expected);
    EXPECT_FALSE(frame.contains("SCANNED"));

    r.ItemCode.clear();
    r.Barcode.clear();
    const QByteArray empties = ComposeItemFrame(r, "SCANNED", true);
    EXPECT_EQ(empties, B0 + HOME + Text('0', "Short") + BODY1 + Text('9', "") + BODY2 + Text('9', "") + SHELF
                           + Text('9', "") + B1 + Text('8', "RM 3.50"));
}

TEST(ItemFrame, ShelfQueriedAddsLineFourInEveryForm)
{
    LookupResult r = Item("Short");
    r.ShelfQueried = true;
    r.ShelfText = "<NA>";
    EXPECT_EQ(ComposeItemFrame(r, "42", false), B0 + HOME + Text('0', "Short") + SHELF + BODY1 + Text('9', "42") + BODY2
                                                    + Text('9', "<NA>") + B1 + Text('8', "RM 3.50"));

    r.ShelfText = "A-03-2";
    const QByteArray barcode = ComposeItemFrame(r, "42", true);
    EXPECT_EQ(barcode, B0 + HOME + Text('0', "Short") + SHELF + BODY1 + Text('9', "SKU-77") + BODY2
                           + Text('9', "9555000000017") + SHELF + Text('9', "A-03-2") + B1 + Text('8', "RM 3.50"));
    EXPECT_EQ(barcode.count("\r\n"), 12);

    r.Description = "A description long enough to wrap";
    const QByteArray longForm = ComposeItemFrame(r, "42", false);
    EXPECT_EQ(longForm.count(SHELF), 2);
    EXPECT_EQ(longForm.count("\r\n"), 12);
}

TEST(ItemFrame, TextsGoOutByteForByte)
{
    // ETX, CR, LF and bytes above 0x7F inside a description are sent unchanged inside the command.
    const QByteArray d = QByteArray("Caf\xe9\x03\r\n\xc4\xe3", 10);
    const QByteArray frame = ComposeItemFrame(Item(d), QByteArray("\xb0\x01", 2), false);
    EXPECT_TRUE(frame.startsWith(B0 + HOME + "\x1b.0" + d + "\x03\r\n"));
    EXPECT_TRUE(frame.contains(QByteArray("\x1b.9\xb0\x01\x03\r\n", 8)));
}
