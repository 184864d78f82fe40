#include "control/HeadlessFront.h"

#include "platform/Files.h"

namespace tarvel {

namespace {

QByteArray PrefixOf(Priority priority) { return '<' + QByteArray::number(static_cast<int>(priority)) + '>'; }

Priority PriorityOf(Remark::Kind kind)
{
    switch (kind) {
    case Remark::Kind::Error:
        return Priority::Error;
    case Remark::Kind::Warning:
        return Priority::Warning;
    default:
        return Priority::Info;
    }
}

} // namespace

QByteArray PriorityPrefix(std::FILE* stream, Priority priority)
{
    return JournalReads(stream) ? PrefixOf(priority) : QByteArray();
}

HeadlessFront::HeadlessFront(std::FILE* out, std::FILE* err) : out_(out), err_(err), journal_(JournalReads(err)) {}

void HeadlessFront::writeLine(std::FILE* stream, const QByteArray& prefix, const QByteArray& text)
{
    // The stream gathers the pieces; the flush writes the whole line at once.
    std::fwrite(prefix.constData(), 1, static_cast<size_t>(prefix.size()), stream);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void HeadlessFront::writeStandardError(Priority priority, const QByteArray& line)
{
    writeLine(err_, journal_ ? PrefixOf(priority) : QByteArray(), OneLine(line));
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

void HeadlessFront::showGeneralErrorBox(const QByteArray& text)
{
    writeStandardError(Priority::Error, "error: " + text);
}
void HeadlessFront::showErrorBox(const QByteArray& text) { writeStandardError(Priority::Error, "error: " + text); }
void HeadlessFront::showInformationBox(const QByteArray& text) { writeStandardError(Priority::Info, "info: " + text); }
void HeadlessFront::showNoticeBox(const QByteArray& text) { writeStandardError(Priority::Info, "info: " + text); }
void HeadlessFront::showNote(const QByteArray& text) { writeStandardError(Priority::Info, "info: " + text); }
void HeadlessFront::showRemark(const Remark& remark)
{
    writeStandardError(PriorityOf(remark.kind), RemarkLine(remark));
}

} // namespace tarvel
