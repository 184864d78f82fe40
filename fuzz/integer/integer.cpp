// Integer settings (TCP_PORT, FDB_QUERY_TIMEOUT) as any text: what reads as a number is the number the
// text writes, in one of its three forms, and within 32 bits.

#include "FuzzInput.h"
#include "config/IniText.h"

#include <charconv>
#include <optional>

using namespace tarvel;

namespace {

// The same forms read the long way: decimal with a sign, "0x" hex, "$" hex with a sign.
std::optional<long long> Written(const QByteArray& text)
{
    QByteArray digits = text;
    int base = 10;
    bool negative = false;
    if (digits.size() > 2 && (digits.startsWith("0x") || digits.startsWith("0X"))) {
        digits = digits.mid(2);
        base = 16;
    } else {
        negative = digits.startsWith('-');
        if (negative || digits.startsWith('+'))
            digits = digits.mid(1);
        if (digits.startsWith('$')) {
            digits = digits.mid(1);
            base = 16;
        }
    }
    if (digits.isEmpty())
        return std::nullopt;
    for (char c : digits) {
        const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!(c >= '0' && c <= '9') && !(base == 16 && hex))
            return std::nullopt;
    }
    while (digits.size() > 1 && digits.startsWith('0'))
        digits.remove(0, 1); // leading zeros count for nothing
    long long value = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value, base);
    if (error != std::errc() || end != digits.constData() + digits.size())
        return std::optional<long long>(1LL << 40); // too big for 64 bits: also out of range
    return negative ? -value : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<int> read = ParseIniInteger(text);
    const std::optional<long long> written = Written(text);
    const bool inRange = written && *written >= INT32_MIN && *written <= INT32_MAX;
    FUZZ_CHECK(read.has_value() == inRange);
    FUZZ_CHECK(!read || *read == *written);
    return 0;
}
