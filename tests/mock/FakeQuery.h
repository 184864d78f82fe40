#pragma once

// A query component that records every SQL text verbatim and serves scripted results. Reading a
// column the result lacks fails with EDatabaseError as the engine does; every read is counted by
// the column's upper-case name, so tests can tell which steps a lookup reached.

#include "data/EDatabaseError.h"
#include "data/Query.h"

#include <QVariant>

#include <map>
#include <vector>

namespace tarvel {

// A scripted result: column names and rows. A null QVariant is NULL; QByteArray and double values
// read as text or number as the engine would render them.
struct FakeResult {
    std::vector<QByteArray> columns;
    std::vector<std::vector<QVariant>> rows;
};

class FakeQuery : public Query {
public:
    // The result served for exactly this SQL text. Any other text gets an empty result without columns.
    void script(const QByteArray& sql, FakeResult result) { scripted_[sql] = std::move(result); }
    // The next Open fails with this message (once).
    void failNextOpen(const QByteArray& message) { failure_ = message; }
    // Every Open of exactly this text fails with this message, as the engine refuses a bad statement.
    void refuse(const QByteArray& sql, const QByteArray& message) { refused_[sql] = message; }

    void Open(const QByteArray& sql) override
    {
        opened.push_back(sql);
        open_ = false;
        if (!failure_.isEmpty()) {
            const QByteArray message = failure_;
            failure_.clear();
            throw EDatabaseError(message.toStdString());
        }
        if (auto refused = refused_.find(sql); refused != refused_.end())
            throw EDatabaseError(refused->second.toStdString());
        auto it = scripted_.find(sql);
        current_ = it == scripted_.end() ? FakeResult{} : it->second;
        open_ = true;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    long RowCount() const override { return rowCountOverride ? rowCountOverride : long(current_.rows.size()); }
    bool Eof() const override { return current_.rows.empty(); }

    QByteArray FieldAsText(const QByteArray& name) const override
    {
        const QVariant v = field(name);
        if (v.isNull())
            return {};
        if (v.typeId() == QMetaType::Double)
            return QByteArray::number(v.toDouble(), 'g', 17);
        return v.toByteArray();
    }
    double FieldAsDouble(const QByteArray& name) const override
    {
        const QVariant v = field(name);
        return v.isNull() ? 0.0 : v.toDouble();
    }
    // Scripted as days with the time of day as the fraction.
    DateTime FieldAsDateTime(const QByteArray& name) const override { return DateTime::fromDays(FieldAsDouble(name)); }

    int reads(const QByteArray& name) const
    {
        auto it = reads_.find(name.toUpper());
        return it == reads_.end() ? 0 : it->second;
    }

    std::vector<QByteArray> opened;
    long rowCountOverride = 0; // non-zero: what RowCount reports instead of the row count

private:
    QVariant field(const QByteArray& name) const
    {
        const QByteArray upper = name.toUpper();
        ++reads_[upper];
        if (!open_ || current_.rows.empty())
            throw EDatabaseError("No current record for field " + name.toStdString());
        for (size_t i = 0; i < current_.columns.size(); ++i)
            if (current_.columns[i].toUpper() == upper)
                return current_.rows.front()[i];
        throw EDatabaseError("Field '" + name.toStdString() + "' not found");
    }

    std::map<QByteArray, FakeResult> scripted_;
    std::map<QByteArray, QByteArray> refused_;
    FakeResult current_;
    bool open_ = false;
    QByteArray failure_;
    mutable std::map<QByteArray, int> reads_;
};

} // namespace tarvel
