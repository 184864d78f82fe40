#include "base/ByteText.h"

#include <algorithm>

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

QByteArray VisibleControlBytes(const QByteArray& text, HexCase hexCase)
{
    const char* const hex = hexCase == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    const auto control = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte == 127;
    };
    // Most texts hold none: they are handed on as they are, without a copy.
    if (std::none_of(text.begin(), text.end(), control))
        return text;
    QByteArray visible;
    visible.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (control(c))
            visible.append("\\x").append(hex[byte >> 4]).append(hex[byte & 15]);
        else
            visible.append(c);
    }
    return visible;
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
