#pragma once

#include "base/Front.h"

#include <cstdio>

namespace tarvel {

// A text that may run over several lines (Firebird's messages do) as one line: each line end a blank.
QByteArray OneLine(QByteArray text);

// The priorities systemd's journal files a line by, as syslog numbers them.
enum class Priority { Error = 3, Warning = 4, Info = 6 };
// "<3>", "<4>" or "<6>" to lead a line written to `stream` when the journal reads that stream
// (JournalReads); nothing for any other reader, whose lines stay as they are.
QByteArray PriorityPrefix(std::FILE* stream, Priority priority);

// The front of a server without a window: every log line goes to standard output as it is appended
// (the same bytes, LF-terminated, flushed), every box and note becomes one line on standard error,
// "error: " or "info: " then its text; a remark is one line too, "warning: " where it warns. When the
// journal reads standard error, each of its lines begins with the line's priority; standard output
// never does.
class HeadlessFront : public Front {
public:
    explicit HeadlessFront(std::FILE* out = stdout, std::FILE* err = stderr);

    void showGeneralErrorBox(const QByteArray& text) override;
    void showErrorBox(const QByteArray& text) override;
    void showInformationBox(const QByteArray& text) override;
    void showNoticeBox(const QByteArray& text) override;
    void showNote(const QByteArray& text) override;
    void showRemark(const Remark& remark) override;

protected:
    void showLogLine(const QByteArray& line) override;

private:
    void writeLine(std::FILE* stream, const QByteArray& prefix, const QByteArray& text);
    void writeStandardError(Priority priority, const QByteArray& line);

    std::FILE* out_;
    std::FILE* err_;
    // Whether the journal reads err_: asked once, as neither the stream nor the environment changes.
    bool journal_;
};

} // namespace tarvel
