#pragma once

// The first row of a Firebird result, copied out of the engine's message buffer, and the text, number
// and date-time forms of its fields. Pure: no engine call in here.

#include "data/DateTime.h"

#include <QByteArray>

#include <vector>

namespace tarvel {

struct FbColumn {
    QByteArray name; // the alias, as the engine gives it (upper case unless quoted)
    unsigned type = 0; // SQL_TEXT, SQL_VARYING, SQL_LONG, ... without the nullable bit
    unsigned subType = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
    int index = 0; // its place in the result, for FbRow::blobs
};

struct FbRow {
    QByteArray message; // the row as the engine's output message
    std::vector<QByteArray> blobs; // a blob column's contents by column index; empty elsewhere
};

struct FbResult {
    std::vector<FbColumn> columns;
    std::vector<FbRow> rows; // the first row only, or none when the result is empty

    // The first column of that name, compared without regard to ASCII case; -1 when none.
    int columnIndex(const QByteArray& name) const;
};

bool FieldIsNull(const FbColumn& column, const FbRow& row);

// Integers in decimal; scaled numerics exactly, with their scale's digits after a point; doubles in
// their shortest exact form; DATE "YYYY-MM-DD", TIME "HH:MM:SS", TIMESTAMP "YYYY-MM-DD HH:MM:SS", a
// non-zero fraction of a second as ".ffff"; CHAR without its pad blanks; VARCHAR and blobs byte for
// byte; booleans TRUE/FALSE. NULL is empty. The engine reads each form back as the same value.
QByteArray FieldText(const FbColumn& column, const FbRow& row);

// Numbers as doubles (a scaled integer as the double nearest to its decimal value, as the engine
// casts it), date-times as days with the time of day as the fraction, booleans 1 or 0, texts converted as the engine
// would convert them (decimal text, blanks around it ignored). NULL is 0. Throws EDatabaseError for a
// text that is no number.
double FieldDouble(const FbColumn& column, const FbRow& row);

// The engine's own days and ticks, unrounded; a DATE has no time of day, a TIME no days. Numbers are
// taken as days with the time of day as the fraction; texts in the forms FieldText writes are
// converted. NULL is the zero. Throws EDatabaseError for any other text or type.
DateTime FieldDateTime(const FbColumn& column, const FbRow& row);

} // namespace tarvel
