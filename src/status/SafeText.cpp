#include "status/SafeText.h"

#include "base/ByteText.h"

#include <QString>

namespace tarvel {

QByteArray ShownText(const QByteArray& bytes)
{
    return QString::fromLatin1(VisibleControlBytes(bytes, HexCase::Lower)).toUtf8();
}

QByteArray HtmlText(const QByteArray& bytes)
{
    const QByteArray shown = ShownText(bytes);
    QByteArray html;
    html.reserve(shown.size());
    for (const char c : shown) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

QByteArray CsvField(const QByteArray& bytes)
{
    QByteArray shown = ShownText(bytes);
    // A spreadsheet would run a field that starts like a formula; the apostrophe makes it text.
    if (!shown.isEmpty() && QByteArray("=+-@").contains(shown[0]))
        shown.prepend('\'');
    shown.replace('"', "\"\"");
    return '"' + shown + '"';
}

QByteArray MetricLabelValue(const QByteArray& bytes)
{
    QByteArray value = ShownText(bytes);
    value.replace('\\', "\\\\");
    value.replace('"', "\\\"");
    return value; // a line break is already \x0a
}

} // namespace tarvel
