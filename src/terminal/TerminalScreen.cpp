#include "terminal/TerminalScreen.h"

#include "base/ByteText.h"

#include <QList>

#include <algorithm>
#include <utility>

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

namespace {

// The frame's text commands in order, each as its selector byte and its text.
QList<std::pair<char, QByteArray>> FrameTexts(const QByteArray& frame)
{
    QList<std::pair<char, QByteArray>> texts;
    for (const QByteArray& line : FrameLines(frame))
        if (line.size() >= 4 && line[0] == '\x1b' && line[1] == '.' && line.endsWith('\x03'))
            texts.append({line[2], line.mid(3, line.size() - 4)});
    return texts;
}

// The scan code as the server may have left it: trimmed, and perhaps without its check digit.
bool IsScanCode(const QByteArray& text, const QByteArray& code)
{
    const QByteArray trimmed = code.trimmed();
    return text == trimmed || text == trimmed.chopped(trimmed.isEmpty() ? 0 : 1);
}

} // namespace

QByteArray RenderScreen(const QByteArray& frame)
{
    QByteArray screen;
    for (const auto& [selector, text] : FrameTexts(frame)) {
        if (!screen.isEmpty())
            screen += " | ";
        screen += VisibleControlBytes(text, HexCase::Lower);
    }
    return screen;
}

QByteArray LabelScreen(const QByteArray& frame, const QByteArray& code)
{
    const QList<std::pair<char, QByteArray>> texts = FrameTexts(frame);
    const qsizetype body = texts.size() - 2;
    if ((body != 2 && body != 3) || texts.first().first != '0' || texts.last().first != '8'
        || !std::all_of(texts.begin() + 1, texts.end() - 1, [](const auto& text) { return text.first == '9'; }))
        return RenderScreen(frame);
    QList<QByteArray> labels;
    if (body == 2) {
        labels = {"description", "scan code", "shelf", "price"};
    } else {
        // The long form's second line goes on from the description's 20th character.
        const QByteArray& description = texts[0].second;
        const bool longForm = description.size() == 20 && texts[1].second.startsWith(description.right(1))
                           && IsScanCode(texts[2].second, code);
        labels = longForm ? QList<QByteArray>{"description", "description, line 2", "scan code", "shelf", "price"}
                          : QList<QByteArray>{"description", "item code", "barcode", "shelf", "price"};
    }
    QByteArray screen;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            screen += " | ";
        screen +=
            labels[i] + ": "
            + (texts[i].second.isEmpty() ? QByteArray("(none)") : VisibleControlBytes(texts[i].second, HexCase::Lower));
    }
    return screen;
}

} // namespace tarvel
