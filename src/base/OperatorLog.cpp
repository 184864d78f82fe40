#include "base/OperatorLog.h"

#include "base/ByteText.h"

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

} // namespace tarvel
