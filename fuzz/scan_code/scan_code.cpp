// The road of a message up to the lookup's SQL: the code cut out of the message, trimmed and its
// check digit dropped, then quoted into the query text.

#include "FuzzInput.h"
#include "base/ByteText.h"
#include "terminal/ScanCode.h"

using namespace tarvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const auto switches = in.number<uint8_t>();
    const QByteArray message = in.rest();

    // The code is what lies between the prefix and the last byte: a tail of the message without it.
    const QByteArray code = CutCode(message);
    FUZZ_CHECK(message.isEmpty() ? code.isEmpty() : message.chopped(1).endsWith(code));
    const qsizetype dropped = message.size() - code.size();
    FUZZ_CHECK(code.isEmpty() || dropped == 2 || dropped == 3 || dropped == 5);

    const QByteArray trimmed = TrimBytes(code);
    FUZZ_CHECK(code.contains(trimmed) && TrimBytes(trimmed) == trimmed);
    FUZZ_CHECK(trimmed.isEmpty() || (uchar(trimmed.front()) > 0x20 && uchar(trimmed.back()) > 0x20));

    ServiceSettings settings;
    settings.TrimEan8Digits = switches & 1;
    settings.TrimEan13Digits = switches & 2;
    for (const QByteArray& before : {trimmed, QByteArray(kUnregisteredCode)}) {
        const QByteArray after = TrimCheckDigits(before, settings);
        const bool ean8 = settings.TrimEan8Digits && before.size() == 8;
        const bool ean13 = settings.TrimEan13Digits && before.size() == 13;
        FUZZ_CHECK(after == (ean8 || ean13 ? before.chopped(1) : before));

        // Quoted, the code is one SQL string literal that reads back as the code.
        const QByteArray quoted = QuoteSql(after);
        FUZZ_CHECK(quoted.size() >= 2 && quoted.front() == '\'' && quoted.back() == '\'');
        const QByteArray inner = quoted.mid(1, quoted.size() - 2);
        FUZZ_CHECK(!QByteArray(inner).replace("''", "").contains('\''));
        FUZZ_CHECK(QByteArray(inner).replace("''", "'") == after);
    }
    return 0;
}
