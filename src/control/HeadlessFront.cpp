#include "control/HeadlessFront.h"

namespace tarvel {

void HeadlessFront::writeLine(std::FILE* stream, const QByteArray& prefix, const QByteArray& text)
{
    // The stream gathers the pieces; the flush writes the whole line at once.
    std::fwrite(prefix.constData(), 1, static_cast<size_t>(prefix.size()), stream);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void HeadlessFront::showLogLine(const QByteArray& line) { writeLine(out_, {}, line); }

// A box's text on standard error is one line.
QByteArray OneLine(QByteArray text)
{
    text.replace("\r\n", " ");
    text.replace('\n', ' ');
    text.replace('\r', ' ');
    return text;
}

void HeadlessFront::showGeneralError(const QByteArray& text) { writeLine(err_, "error: ", OneLine(text)); }
void HeadlessFront::showErrorBox(const QByteArray& text) { writeLine(err_, "error: ", OneLine(text)); }
void HeadlessFront::showInformation(const QByteArray& text) { writeLine(err_, "info: ", OneLine(text)); }
void HeadlessFront::showNotice(const QByteArray& text) { writeLine(err_, "info: ", OneLine(text)); }
void HeadlessFront::showNote(const QByteArray& text) { writeLine(err_, "info: ", OneLine(text)); }
void HeadlessFront::showRemark(const Remark& remark) { writeLine(err_, {}, OneLine(RemarkLine(remark))); }

} // namespace tarvel
