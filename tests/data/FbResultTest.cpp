// Rows no engine of ours writes, as a damaged message or a server speaking wrongly could bring them:
// each reads within its column or fails as a database error.

#include "data/FbResult.h"

#include "data/EDatabaseError.h"

#include <firebird/Interface.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace tarvel;

namespace {

// One column at offset 0 of an 8-byte field, its null indicator after it, the field's bytes given.
FbRow RowOf(FbColumn& c, unsigned type, const QByteArray& field, int scale = 0, unsigned length = 8)
{
    c.name = "C";
    c.type = type;
    c.scale = scale;
    c.length = length;
    c.offset = 0;
    c.nullOffset = 10 + length;
    FbRow row;
    row.message = field.leftJustified(12 + length, '\0', true);
    return row;
}

TEST(FbResult, FieldsOutsideWhatTheEngineWritesFailOrStayInTheirColumn)
{
    FbColumn c;
    // A VARCHAR(4) whose length bytes say 60,000: its four bytes, nothing beyond.
    FbRow row = RowOf(c, SQL_VARYING,
                      QByteArray("\x60\xEA"
                                 "ABCD",
                                 6),
                      0, 4);
    EXPECT_EQ(FieldText(c, row), "ABCD");

    // A scale no numeric column has.
    row = RowOf(c, SQL_INT64, QByteArray("\x01\0\0\0\0\0\0\0", 8), 1000000000);
    EXPECT_THROW(FieldText(c, row), EDatabaseError);
    EXPECT_THROW(FieldDouble(c, row), EDatabaseError);

    // A time of day past 24:00, alone and in a timestamp.
    const ISC_TIMESTAMP late{1, 864000000};
    row = RowOf(c, SQL_TIMESTAMP, QByteArray(reinterpret_cast<const char*>(&late), sizeof late));
    EXPECT_THROW(FieldText(c, row), EDatabaseError);
    EXPECT_THROW(FieldDateTime(c, row), EDatabaseError);
    row = RowOf(c, SQL_TYPE_TIME, QByteArray(reinterpret_cast<const char*>(&late.timestamp_time), 4));
    EXPECT_THROW(FieldDateTime(c, row), EDatabaseError);
}

} // namespace
