// The engine layer's reading of a result row: columns of any type, scale, length and null state, laid
// out in the message as the engine lays them out, with any bytes in them. Every field reads as text, as
// a number and as a date-time, or fails with EDatabaseError; nothing reads outside the row.

#include "FuzzInput.h"
#include "data/EDatabaseError.h"
#include "data/FbResult.h"

#include <firebird/Interface.h>

#include <cmath>
#include <iterator>

using namespace tarvel;

namespace {

constexpr unsigned kTypes[] = {SQL_TEXT,      SQL_VARYING, SQL_SHORT,   SQL_LONG,      SQL_INT64,
                               SQL_FLOAT,     SQL_DOUBLE,  SQL_D_FLOAT, SQL_TYPE_DATE, SQL_TYPE_TIME,
                               SQL_TIMESTAMP, SQL_BOOLEAN, SQL_BLOB,    SQL_QUAD,      SQL_ARRAY};

// The bytes a field of the type takes in the message, and their alignment.
unsigned FixedLength(unsigned type, unsigned declared)
{
    switch (type) {
    case SQL_TEXT:
        return declared;
    case SQL_VARYING:
        return declared + 2;
    case SQL_SHORT:
        return 2;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
        return 4;
    case SQL_BOOLEAN:
        return 1;
    default:
        return 8;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    FbResult result;
    unsigned end = 0;
    const unsigned count = in.number<uint8_t>() % 6 + 1;
    std::vector<bool> nulls;
    for (unsigned i = 0; i < count; ++i) {
        FbColumn c;
        const auto kind = in.number<uint8_t>();
        c.type = kind < 240 ? kTypes[kind % std::size(kTypes)] : in.number<uint16_t>() & ~1u;
        c.subType = in.number<uint8_t>();
        c.scale = in.number<int32_t>();
        c.length = FixedLength(c.type, in.number<uint16_t>() % 40000);
        if (c.type == SQL_VARYING)
            c.length -= 2; // the declared length, without its two length bytes
        const unsigned align = c.type == SQL_TEXT || c.type == SQL_VARYING ? 2 : std::min(FixedLength(c.type, 0), 8u);
        c.offset = (end + align - 1) / align * align;
        end = c.offset + FixedLength(c.type, c.length);
        c.nullOffset = (end + 1) / 2 * 2;
        end = c.nullOffset + 2;
        c.index = int(i);
        c.name = "C" + QByteArray::number(i);
        nulls.push_back(in.number<uint8_t>() & 1);
        result.columns.push_back(c);
    }
    FbRow row;
    row.message = in.field().leftJustified(end, '\0', true);
    row.blobs.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        const FbColumn& c = result.columns[i];
        const int16_t null = nulls[i] ? -1 : 0;
        std::memcpy(row.message.data() + c.nullOffset, &null, sizeof null);
        if (c.type == SQL_BLOB)
            row.blobs[i] = in.field();
    }

    for (const FbColumn& c : result.columns) {
        QByteArray text;
        try {
            text = FieldText(c, row);
            if (FieldIsNull(c, row))
                FUZZ_CHECK(text.isEmpty());
            if (c.type == SQL_VARYING || c.type == SQL_TEXT)
                FUZZ_CHECK(text.size() <= qsizetype(c.length));
        } catch (const EDatabaseError&) {
        }
        try {
            const double number = FieldDouble(c, row);
            // A scaled integer's text and its number are the same value.
            if ((c.type == SQL_SHORT || c.type == SQL_LONG || c.type == SQL_INT64) && !text.isEmpty()) {
                const double fromText = text.toDouble();
                FUZZ_CHECK(std::fabs(fromText - number) <= std::fabs(number) * 1e-12 || std::isinf(number));
            }
        } catch (const EDatabaseError&) {
        }
        try {
            const DateTime moment = FieldDateTime(c, row);
            FUZZ_CHECK(moment.ticks >= 0 && moment.ticks < DateTime::kTicksPerDay);
        } catch (const EDatabaseError&) {
        }
    }
    return 0;
}
