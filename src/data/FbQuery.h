#pragma once

#include "data/FbResult.h"
#include "data/Query.h"

namespace tarvel {

class Database;

// A query component on a Firebird connection (qryTmp, qryStockPrice, qryStoreSHELF, qryStore).
// Open copies the whole result out of the engine at once (results here are a few rows), so nothing
// stays open in the engine between calls. Closing the connection closes the query.
// The connection must outlive the query.
class FbQuery : public Query {
public:
    explicit FbQuery(Database& connection);
    ~FbQuery() override;
    FbQuery(const FbQuery&) = delete;
    FbQuery& operator=(const FbQuery&) = delete;

    // Throws EDatabaseError when the connection is not open or the engine refuses the text.
    void Open(const QByteArray& sql) override;
    void Close() override;
    bool IsOpen() const override { return open_; }

    long RowCount() const override { return long(result_.rows.size()); }
    bool Eof() const override { return current_ >= result_.rows.size(); }
    // Moves to the next row; false at the end.
    bool Next();

    QByteArray FieldAsText(const QByteArray& name) const override;
    double FieldAsDouble(const QByteArray& name) const override;
    double FieldAsDateTime(const QByteArray& name) const override;
    bool FieldIsNull(const QByteArray& name) const;

    // The column names of the result, as the engine gives them.
    QList<QByteArray> FieldNames() const;

private:
    const FbColumn& column(const QByteArray& name) const;
    const FbRow& row() const;

    Database& connection_;
    FbResult result_;
    size_t current_ = 0;
    bool open_ = false;
};

} // namespace tarvel
