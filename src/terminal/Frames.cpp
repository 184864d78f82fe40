#include "terminal/Frames.h"

#include "base/ByteText.h"

namespace tarvel {
namespace {

constexpr char ESC = 0x1B;
constexpr char ETX = 0x03;

// Display commands without text.
const QByteArray kClear = QByteArray() + ESC + "B0";
const QByteArray kHome = QByteArray() + ESC + "$";
const QByteArray kBodyFirst = QByteArray() + ESC + ",0 ";
const QByteArray kBodySecond = QByteArray() + ESC + ",00";
const QByteArray kShelfPlace = QByteArray() + ESC + ",0@";
const QByteArray kPriceMode = QByteArray() + ESC + "B1";

void AddLine(QByteArray& frame, const QByteArray& command)
{
    frame += command;
    frame += "\r\n";
}

// ESC "." selector text ETX
void AddText(QByteArray& frame, char selector, const QByteArray& text)
{
    frame += ESC;
    frame += '.';
    frame += selector;
    frame += text;
    frame += ETX;
    frame += "\r\n";
}

// Characters from..to (1-based, inclusive) of a text, those of them that exist.
QByteArray Chars(const QByteArray& text, qsizetype from, qsizetype to)
{
    if (from > text.size())
        return {};
    return text.mid(from - 1, to - from + 1);
}

QByteArray MakeNotFoundFrame()
{
    QByteArray frame;
    AddLine(frame, kClear);
    AddLine(frame, kHome);
    AddLine(frame, kBodyFirst);
    AddText(frame, ':', "Item not found");
    AddLine(frame, kBodySecond);
    AddText(frame, ':', "Please scan again");
    return frame;
}

} // namespace

const QByteArray& NotFoundFrame()
{
    static const QByteArray frame = MakeNotFoundFrame();
    return frame;
}

QByteArray ComposeItemFrame(const LookupResult& result, const QByteArray& code, bool sendSkuBarcode)
{
    const QByteArray& description = result.Description;
    QByteArray frame;
    AddLine(frame, kClear);
    AddLine(frame, kHome);
    AddText(frame, '0', Chars(description, 1, 20));
    if (result.ShelfQueried)
        AddLine(frame, kShelfPlace);

    // The second body text starts at the 20th character, which therefore shows twice.
    const QByteArray tail = Chars(description, 20, 34);
    if (sendSkuBarcode) {
        AddLine(frame, kBodyFirst);
        AddText(frame, '9', result.ItemCode);
        AddLine(frame, kBodySecond);
        AddText(frame, '9', result.Barcode);
        AddLine(frame, kShelfPlace);
        AddText(frame, '9', result.ShelfText);
    } else if (TrimBytes(tail).isEmpty()) {
        AddLine(frame, kBodyFirst);
        AddText(frame, '9', code);
        AddLine(frame, kBodySecond);
        AddText(frame, '9', result.ShelfText);
    } else {
        AddLine(frame, kBodyFirst);
        AddText(frame, '9', tail);
        AddLine(frame, kBodySecond);
        AddText(frame, '9', code);
        AddLine(frame, kShelfPlace);
        AddText(frame, '9', result.ShelfText);
    }
    AddLine(frame, kPriceMode);
    AddText(frame, '8', result.PriceText);
    return frame;
}

} // namespace tarvel
