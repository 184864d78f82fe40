#pragma once

#include <QByteArray>
#include <QList>

namespace tarvel {

// Something the operator should know that is neither a log line nor a box: a setting read as its
// default, a store the POS database does not know, the store and price level a run serves. The
// headless runner prints each on standard error as "info: ", "warning: " or "error: " and its text;
// the window shows the warnings and errors in its status bar and all of them in its tooltip.
struct Remark {
    enum class Kind { Info, Warning, Error };
    Kind kind = Kind::Info;
    QByteArray text;
    bool operator==(const Remark&) const = default;
};

using Remarks = QList<Remark>;

// "info: ", "warning: " or "error: " followed by the text.
QByteArray RemarkLine(const Remark& remark);

} // namespace tarvel
