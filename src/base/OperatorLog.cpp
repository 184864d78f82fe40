#include "base/OperatorLog.h"

#include "base/ByteText.h"

#include <algorithm>

namespace tarvel {

QByteArray FormatLogLabel(const QByteArray& text, int width, char fill)
{
    QByteArray label = TrimBytes(text);
    if (label.size() < width)
        label.append(width - label.size(), fill);
    else
        label.truncate(width);
    return label;
}

QByteArray LogLineWithValue(const QByteArray& label, const QByteArray& value)
{
    return FormatLogLabel(label) + '[' + value + ']';
}

QByteArray VisibleControlBytes(const QByteArray& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto control = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte == 127;
    };
    // Most lines hold none: they are handed on as they are, without a copy.
    if (std::none_of(text.begin(), text.end(), control))
        return text;
    QByteArray visible;
    visible.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (control(c))
            visible.append("\\x").append(kHex[byte >> 4]).append(kHex[byte & 15]);
        else
            visible.append(c);
    }
    return visible;
}

} // namespace tarvel
