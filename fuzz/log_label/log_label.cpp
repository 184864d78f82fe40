// Log lines from any label and value: the label trimmed and fitted to 40 bytes, the value in brackets
// after it, and the line as shown holds no control byte.

#include "FuzzInput.h"
#include "base/ByteText.h"
#include "base/OperatorLog.h"

using namespace tarvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const QByteArray label = in.field();
    const QByteArray value = in.rest();

    const QByteArray fitted = FormatLogLabel(label);
    const QByteArray trimmed = TrimBytes(label);
    FUZZ_CHECK(fitted.size() == 40);
    FUZZ_CHECK(trimmed.size() >= 40 ? fitted == trimmed.left(40)
                                    : fitted == trimmed + QByteArray(40 - trimmed.size(), '.'));
    const QByteArray line = LogLineWithValue(label, value);
    FUZZ_CHECK(line == fitted + '[' + value + ']');

    // Shown, the line holds no control byte: each became a four-byte escape, and nothing else changed.
    const QByteArray shown = VisibleControlBytes(line, HexCase::Upper);
    const qsizetype controls =
        std::count_if(line.begin(), line.end(), [](char c) { return uchar(c) < 32 || uchar(c) == 127; });
    FUZZ_CHECK(std::none_of(shown.begin(), shown.end(), [](char c) { return uchar(c) < 32 || uchar(c) == 127; }));
    FUZZ_CHECK(shown.size() == line.size() + 3 * controls);
    FUZZ_CHECK(controls > 0 || shown == line);
    return 0;
}
