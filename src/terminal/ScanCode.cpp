#include "terminal/ScanCode.h"

#include "base/ByteText.h"

namespace tarvel {

QByteArray CutCode(const QByteArray& message)
{
    const qsizetype length = message.size();
    qsizetype first = 2; // 1-based position of the code's first character
    if (length >= 4 && message.mid(1, 3) == "]C1")
        first = 5;
    else if (length >= 2 && message.left(2) == "FF")
        first = 3;
    const qsizetype last = length - 1;
    if (last < first)
        return {};
    return message.mid(first - 1, last - first + 1);
}

QByteArray TrimCheckDigits(QByteArray code, const ServiceSettings& settings)
{
    if (settings.TrimEan8Digits && TrimBytes(code).size() == 8)
        code.chop(1);
    if (settings.TrimEan13Digits && TrimBytes(code).size() == 13)
        code.chop(1);
    return code;
}

} // namespace tarvel
