// The item screen composed from any texts the database may hold: whole display commands, the texts in
// them as they came, nothing else.

#include "terminal/Frames.h"

#include "FuzzInput.h"
#include "base/ByteText.h"

using namespace tarvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const auto switches = in.number<uint8_t>();
    LookupResult r;
    r.Found = true;
    r.ShelfQueried = switches & 1;
    const bool sendSkuBarcode = switches & 2;
    r.Description = in.field();
    r.ItemCode = in.field();
    r.Barcode = in.field();
    r.ShelfText = in.field();
    r.PriceText = in.field();
    const QByteArray code = in.rest();

    const QByteArray frame = ComposeItemFrame(r, code, sendSkuBarcode);
    const QByteArray ESC = "\x1B";
    const QByteArray ETX = "\x03";
    FUZZ_CHECK(frame.startsWith(ESC + "B0\r\n" + ESC + "$\r\n" + ESC + ".0" + r.Description.left(20) + ETX + "\r\n"));
    FUZZ_CHECK(frame.endsWith(ESC + "B1\r\n" + ESC + ".8" + r.PriceText + ETX + "\r\n"));
    FUZZ_CHECK(frame.contains(ESC + ".9" + r.ShelfText + ETX + "\r\n"));

    // Everything in the frame is a fixed command or one of the texts: 26 bytes of commands around the
    // description and the price, 6 for the shelf place, and 36 around three texts or 24 around two.
    const QByteArray tail = r.Description.mid(19, 15);
    const bool tailShown = !sendSkuBarcode && !TrimBytes(tail).isEmpty();
    qsizetype expected = 26 + (r.ShelfQueried ? 6 : 0) + r.Description.left(20).size() + r.PriceText.size();
    if (sendSkuBarcode)
        expected += 36 + r.ItemCode.size() + r.Barcode.size() + r.ShelfText.size();
    else if (tailShown)
        expected += 36 + tail.size() + code.size() + r.ShelfText.size();
    else
        expected += 24 + code.size() + r.ShelfText.size();
    FUZZ_CHECK(frame.size() == expected);

    FUZZ_CHECK(NotFoundFrame().size() == 64 && NotFoundFrame().endsWith("\r\n"));
    return 0;
}
