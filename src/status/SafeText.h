#pragma once

#include <QByteArray>

namespace tarvel {

// Bytes from a terminal or a file made safe to show: each byte as the character of its value (8-bit
// text), control bytes as \xNN, in UTF-8. Then, for HTML, & < > " ' as entities; for a CSV field,
// enclosed in double quotes with inner ones doubled and, when it would start a spreadsheet formula
// (=, +, -, @), led by an apostrophe; for a Prometheus label value, \ " and line ends escaped.
QByteArray ShownText(const QByteArray& bytes);
QByteArray HtmlText(const QByteArray& bytes);
QByteArray CsvField(const QByteArray& bytes);
QByteArray MetricLabelValue(const QByteArray& bytes);

} // namespace tarvel
