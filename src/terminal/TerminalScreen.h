#pragma once

#include <QByteArray>

#include <string>

namespace tarvel {

// The terminal's side of the protocol, for the terminal emulator and the tests: what a price checker
// sends for a scan, and how it reads a reply frame. Pure.

enum class ScanForm {
    C1,   // 0x02 "]C1" code CR: the scanner's symbology prefix
    FF,   // "FF" code CR
    Byte, // 0x02 code CR
};

bool ParseScanForm(const std::string& text, ScanForm& form);
QByteArray ScanMessage(const QByteArray& code, ScanForm form);

// True once `reply` holds a whole frame: the not-found frame, or an item frame up to its price line.
bool IsCompleteFrame(const QByteArray& reply);

// The texts of a frame as the terminal shows them, joined with " | "; control bytes inside a text are
// written as \xNN so the line stays readable.
QByteArray RenderScreen(const QByteArray& frame);

} // namespace tarvel
