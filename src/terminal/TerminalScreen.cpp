#include "terminal/TerminalScreen.h"

#include <QList>

namespace tarvel {

bool ParseScanForm(const std::string& text, ScanForm& form)
{
    if (text == "]C1")
        form = ScanForm::C1;
    else if (text == "FF")
        form = ScanForm::FF;
    else if (text == "byte")
        form = ScanForm::Byte;
    else
        return false;
    return true;
}

QByteArray ScanMessage(const QByteArray& code, ScanForm form)
{
    switch (form) {
    case ScanForm::C1:
        return "\x02]C1" + code + '\r';
    case ScanForm::FF:
        return "FF" + code + '\r';
    case ScanForm::Byte:
        break;
    }
    return '\x02' + code + '\r';
}

namespace {

// The frame's lines, each without its CR LF; a last line without CR LF is left out.
QList<QByteArray> FrameLines(const QByteArray& frame)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (true) {
        const qsizetype end = frame.indexOf("\r\n", start);
        if (end < 0)
            break;
        lines.append(frame.mid(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool IsTextCommand(const QByteArray& line, char selector)
{
    return line.size() >= 4 && line[0] == '\x1b' && line[1] == '.' && line[2] == selector && line.endsWith('\x03');
}

} // namespace

bool IsCompleteFrame(const QByteArray& reply)
{
    if (!reply.endsWith("\r\n"))
        return false;
    const QList<QByteArray> lines = FrameLines(reply);
    int messages = 0;
    for (const QByteArray& line : lines) {
        if (IsTextCommand(line, '8'))
            return true;
        if (IsTextCommand(line, ':') && ++messages == 2)
            return true;
    }
    return false;
}

QByteArray RenderScreen(const QByteArray& frame)
{
    QByteArray screen;
    for (const QByteArray& line : FrameLines(frame)) {
        if (line.size() < 4 || line[0] != '\x1b' || line[1] != '.' || !line.endsWith('\x03'))
            continue;
        if (!screen.isEmpty())
            screen += " | ";
        for (char c : line.mid(3, line.size() - 4)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7f)
                screen += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
            else
                screen += c;
        }
    }
    return screen;
}

} // namespace tarvel
