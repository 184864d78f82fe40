#pragma once

#include <QByteArray>

#include <string>

namespace tarvel {

// The terminal's side of the protocol, for the terminal emulator and the tests: what a price checker
// sends for a scan, and how it reads a reply frame. Pure.

enum class ScanForm {
    C1, // 0x02 "]C1" code CR: the scanner's symbology prefix
    FF, // "FF" code CR
    Byte, // 0x02 code CR
};

bool ParseScanForm(const std::string& text, ScanForm& form);
QByteArray ScanMessage(const QByteArray& code, ScanForm form);

// True once `reply` holds a whole frame: the not-found frame, or an item frame up to its price line.
bool IsCompleteFrame(const QByteArray& reply);

// The texts of a frame as the terminal shows them, joined with " | "; control bytes inside a text are
// written as \xNN so the line stays readable.
QByteArray RenderScreen(const QByteArray& frame);

// An item screen with each text named, written as RenderScreen writes texts: "description: ... |
// item code: ... | barcode: ... | shelf: ... | price: ..." (the SKU+barcode form), or with "scan code"
// in place of the item code and barcode (the short form), after "description, line 2" (the long
// form); an empty text shows as "(none)". `code` is the code that was scanned: the long form carries
// it where the SKU+barcode form has the barcode, which tells the two apart. Any other frame (the
// not-found screen) comes back as RenderScreen gives it.
QByteArray LabelScreen(const QByteArray& frame, const QByteArray& code);

} // namespace tarvel
