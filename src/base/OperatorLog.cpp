#include "base/OperatorLog.h"

#include "base/ByteText.h"

namespace tarvel {

QByteArray FormatLogLabel(const QByteArray& text)
{
    constexpr qsizetype kWidth = 40;
    QByteArray label = TrimBytes(text);
    if (label.size() < kWidth)
        label.append(kWidth - label.size(), '.');
    else
        label.truncate(kWidth);
    return label;
}

QByteArray LogLineWithValue(const QByteArray& label, const QByteArray& value)
{
    return FormatLogLabel(label) + '[' + value + ']';
}

} // namespace tarvel
