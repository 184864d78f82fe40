#pragma once

// A front that keeps every call it gets, in order, for tests to read back: the log lines alone, the
// boxes alone as (kind, text), and both together in `calls`.

#include "base/Front.h"

#include <QByteArray>

#include <iosfwd>
#include <vector>

namespace tarvel {

class RecordingFront : public Front {
public:
    // The kind of each call: "log", "general" (the general error report), "error" (the "Error" box),
    // "information", "notice", "note" (no box: kept with the boxes all the same).
    struct Call {
        QByteArray kind;
        QByteArray text;
        bool operator==(const Call&) const = default;
    };

    void showLogLine(const QByteArray& line) override;
    void showGeneralErrorBox(const QByteArray& text) override;
    void showErrorBox(const QByteArray& text) override;
    void showInformationBox(const QByteArray& text) override;
    void showNoticeBox(const QByteArray& text) override;
    void showNote(const QByteArray& text) override;

    // The texts of the boxes of one kind, in order.
    std::vector<QByteArray> boxTexts(const QByteArray& kind) const;
    void clear();

    std::vector<QByteArray> lines; // log lines only, as shown
    std::vector<Call> boxes; // every box, logs left out
    std::vector<Call> calls; // everything, logs included

private:
    void box(const QByteArray& kind, const QByteArray& text);
};

// Lets GoogleTest print a call when an expectation fails.
void PrintTo(const RecordingFront::Call& call, std::ostream* out);

} // namespace tarvel
