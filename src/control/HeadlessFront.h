#pragma once

#include "base/Front.h"

#include <cstdio>

namespace tarvel {

// A text that may run over several lines (Firebird's messages do) as one line: each line end a blank.
QByteArray OneLine(QByteArray text);

// The front of a server without a window: every log line goes to standard output as it is appended
// (the same bytes, LF-terminated, flushed), every box and note becomes one line on standard error,
// "error: " or "info: " then its text; a remark is one line too, "warning: " where it warns.
class HeadlessFront : public Front {
public:
    explicit HeadlessFront(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}

    void showGeneralError(const QByteArray& text) override;
    void showErrorBox(const QByteArray& text) override;
    void showInformation(const QByteArray& text) override;
    void showNotice(const QByteArray& text) override;
    void showNote(const QByteArray& text) override;
    void showRemark(const Remark& remark) override;

protected:
    void showLogLine(const QByteArray& line) override;

private:
    void writeLine(std::FILE* stream, const QByteArray& prefix, const QByteArray& text);

    std::FILE* out_;
    std::FILE* err_;
};

} // namespace tarvel
