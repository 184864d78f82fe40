#include "data/FbQuery.h"

#include "data/Database.h"
#include "data/EDatabaseError.h"

#include <algorithm>

namespace tarvel {

FbQuery::FbQuery(Database& connection) : connection_(connection) { connection_.queries_.push_back(this); }

FbQuery::~FbQuery()
{
    auto& queries = connection_.queries_;
    queries.erase(std::remove(queries.begin(), queries.end(), this), queries.end());
}

void FbQuery::Open(const QByteArray& sql)
{
    Close();
    result_ = connection_.Select(sql);
    open_ = true;
}

void FbQuery::Close()
{
    result_ = FbResult();
    open_ = false;
}

const FbColumn& FbQuery::column(const QByteArray& name) const
{
    if (!open_)
        throw EDatabaseError("Cannot perform this operation on a closed dataset");
    const int index = result_.columnIndex(name);
    if (index < 0)
        throw EDatabaseError("Field '" + name.toStdString() + "' not found");
    return result_.columns[size_t(index)];
}

// Callers test Eof() first: on an empty result every field reads as NULL.
const FbRow& FbQuery::row() const { return result_.rows.front(); }

bool FbQuery::FieldIsNull(const QByteArray& name) const
{
    const FbColumn& c = column(name);
    return Eof() || tarvel::FieldIsNull(c, row());
}

QByteArray FbQuery::FieldAsText(const QByteArray& name) const
{
    const FbColumn& c = column(name);
    return Eof() ? QByteArray() : FieldText(c, row());
}

double FbQuery::FieldAsDouble(const QByteArray& name) const
{
    const FbColumn& c = column(name);
    return Eof() ? 0 : FieldDouble(c, row());
}

DateTime FbQuery::FieldAsDateTime(const QByteArray& name) const
{
    const FbColumn& c = column(name);
    return Eof() ? DateTime{} : FieldDateTime(c, row());
}

QList<QByteArray> FbQuery::FieldNames() const
{
    QList<QByteArray> names;
    for (const FbColumn& c : result_.columns)
        names.append(c.name);
    return names;
}

} // namespace tarvel
