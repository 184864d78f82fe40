#include "mock/RecordingFront.h"

#include <ostream>

namespace tarvel {

void RecordingFront::showLogLine(const QByteArray& line)
{
    lines.push_back(line);
    calls.push_back({"log", line});
}

void RecordingFront::showGeneralErrorBox(const QByteArray& text) { box("general", text); }
void RecordingFront::showErrorBox(const QByteArray& text) { box("error", text); }
void RecordingFront::showInformationBox(const QByteArray& text) { box("information", text); }
void RecordingFront::showNoticeBox(const QByteArray& text) { box("notice", text); }
void RecordingFront::showNote(const QByteArray& text) { box("note", text); }

void RecordingFront::box(const QByteArray& kind, const QByteArray& text)
{
    boxes.push_back({kind, text});
    calls.push_back({kind, text});
}

std::vector<QByteArray> RecordingFront::boxTexts(const QByteArray& kind) const
{
    std::vector<QByteArray> texts;
    for (const Call& call : boxes)
        if (call.kind == kind)
            texts.push_back(call.text);
    return texts;
}

void RecordingFront::clear()
{
    lines.clear();
    boxes.clear();
    calls.clear();
}

void PrintTo(const RecordingFront::Call& call, std::ostream* out)
{
    *out << call.kind.toStdString() << ": \"" << call.text.toStdString() << '"';
}

} // namespace tarvel
