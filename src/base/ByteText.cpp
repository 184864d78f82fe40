#include "base/ByteText.h"

namespace tarvel {

QByteArray TrimBytes(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QByteArray QuoteSql(const QByteArray& value)
{
    QByteArray quoted;
    quoted.reserve(value.size() + 2);
    quoted += '\'';
    for (char c : value) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    quoted += '\'';
    return quoted;
}

} // namespace tarvel
