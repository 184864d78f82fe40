#pragma once

#include "data/DateTime.h"

#include <QByteArray>

namespace tarvel {

// A query component (qryTmp, qryStockPrice, qryStoreSHELF, qryStore): runs one literal SQL text and
// stands on the first row of its result, the only row its callers read. Every failure is an
// EDatabaseError.
class Query {
public:
    virtual ~Query() = default;

    // Drops the previous result, runs the text and stands on the first row.
    virtual void Open(const QByteArray& sql) = 0;
    // Drops the result, if any. Never fails.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Zero when the result has no rows, non-zero otherwise.
    virtual long RowCount() const = 0;
    // True right after Open exactly when the result has no rows.
    virtual bool Eof() const = 0;

    // A column of the current row by name, matched without regard to case. A name the result lacks
    // raises EDatabaseError, on a result without rows too (where every column reads as NULL). NULL
    // reads as empty text, 0, or the zero date-time.
    virtual QByteArray FieldAsText(const QByteArray& name) const = 0;
    virtual double FieldAsDouble(const QByteArray& name) const = 0;
    // The stored date and time of day to the engine's own tick, never rounded.
    virtual DateTime FieldAsDateTime(const QByteArray& name) const = 0;
};

} // namespace tarvel
