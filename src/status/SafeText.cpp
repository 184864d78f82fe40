#include "status/SafeText.h"

#include <QString>

namespace tarvel {

QByteArray ShownText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QChar(byte);
    }
    return text.toUtf8();
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
