#pragma once

#include "data/FbResult.h"
#include "data/Query.h"

namespace tarvel {

class Database;

// A query component on a Firebird connection (qryTmp, qryStockPrice, qryStoreSHELF, qryStore).
// Open fetches the first row and closes the cursor at once: a text that matches thousands of rows
// costs no more than one that matches a single row, and nothing stays open in the engine between
// calls. Closing the connection closes the query.
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

    // 1 when the result has rows (only the first is fetched), 0 otherwise.
    long RowCount() const override { return long(result_.rows.size()); }
    bool Eof() const override { return result_.rows.empty(); }

    QByteArray FieldAsText(const QByteArray& name) const override;
    double FieldAsDouble(const QByteArray& name) const override;
    DateTime FieldAsDateTime(const QByteArray& name) const override;
    bool FieldIsNull(const QByteArray& name) const;

    // The column names of the result, as the engine gives them.
    QList<QByteArray> FieldNames() const;

private:
    const FbColumn& column(const QByteArray& name) const;
    const FbRow& row() const;

    Database& connection_;
    FbResult result_;
    bool open_ = false;
};

} // namespace tarvel
