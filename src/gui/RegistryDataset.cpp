#include "gui/RegistryDataset.h"

#include "base/Errors.h"
#include "data/EDatabaseError.h"

#include <QSqlError>
#include <QSqlTableModel>

#include <algorithm>

namespace tarvel {

namespace {

constexpr int PageRows = 10;

} // namespace

// The grid's typing reaches the dataset, which owns the pending edit; the ID column is read-only.
class RegistryTableModel : public QSqlTableModel {
public:
    RegistryTableModel(RegistryDataset& dataset, const QSqlDatabase& db)
        : QSqlTableModel(nullptr, db), dataset_(dataset)
    {
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole || index.column() != RegistryAddressColumn)
            return false;
        try {
            dataset_.SetAddressAt(index.row(), value.toString().toLatin1());
            return true;
        } catch (const EDatabaseError& error) {
            emit dataset_.editRefused(error.what(), true);
        } catch (const TarvelError& error) {
            emit dataset_.editRefused(error.what(), false);
        }
        return false;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags flags = QSqlTableModel::flags(index);
        if (index.column() == RegistryIdColumn)
            flags &= ~Qt::ItemIsEditable;
        return flags;
    }

    // The dataset's own write into the cache, past the override above.
    void storePending(int row, const QByteArray& address)
    {
        QSqlTableModel::setData(index(row, RegistryAddressColumn), AddressToField(address), Qt::EditRole);
    }

private:
    RegistryDataset& dataset_;
};

RegistryDataset::RegistryDataset(TerminalRegistry& registry) : registry_(registry) {}

RegistryDataset::~RegistryDataset() { Close(); }

void RegistryDataset::Open()
{
    Close();
    if (!registry_.IsOpen())
        return;
    model_ = std::make_unique<RegistryTableModel>(*this, registry_.Connection());
    model_->setTable("Tarvel");
    model_->setEditStrategy(QSqlTableModel::OnManualSubmit);
    model_->setSort(RegistryIdColumn, Qt::AscendingOrder);
    model_->setHeaderData(RegistryAddressColumn, Qt::Horizontal, "ADDRESS");
    state_ = State::Browse;
    try {
        reload();
    } catch (...) {
        Close();
        throw;
    }
    setCurrent(0);
    registry_.setPendingEdit(this);
}

void RegistryDataset::Close()
{
    if (model_) {
        registry_.setPendingEdit(nullptr);
        model_->revertAll();
    }
    model_.reset();
    rowById_.clear();
    state_ = State::Closed;
    current_ = -1;
    modified_ = false;
    pending_.clear();
    bookmark_.reset();
    emit changed();
}

QSqlTableModel* RegistryDataset::model() const { return model_.get(); }

int RegistryDataset::RecordCount() const { return model_ ? model_->rowCount() : 0; }

bool RegistryDataset::Bof() const { return current_ <= 0; }

bool RegistryDataset::Eof() const { return current_ < 0 || current_ >= RecordCount() - 1; }

QByteArray RegistryDataset::Address() const
{
    if (IsEditing())
        return pending_;
    return current_ < 0 ? QByteArray() : AddressAt(current_);
}

QByteArray RegistryDataset::AddressAt(int row) const
{
    if (!model_ || row < 0 || row >= RecordCount())
        return {};
    return AddressFromField(model_->data(model_->index(row, RegistryAddressColumn), Qt::EditRole));
}

qint64 RegistryDataset::CurrentId() const { return IdAt(current_); }

qint64 RegistryDataset::IdAt(int row) const
{
    if (!model_ || row < 0 || row >= RecordCount())
        return 0;
    return model_->data(model_->index(row, RegistryIdColumn), Qt::EditRole).toLongLong();
}

void RegistryDataset::First() { MoveTo(0); }
void RegistryDataset::PriorPage() { moveBy(-PageRows); }
void RegistryDataset::Prior() { moveBy(-1); }
void RegistryDataset::Next() { moveBy(1); }
void RegistryDataset::NextPage() { moveBy(PageRows); }

void RegistryDataset::Last()
{
    requireOpen();
    CheckBrowseMode();
    setCurrent(RecordCount() - 1);
}

void RegistryDataset::MoveTo(int row)
{
    requireOpen();
    CheckBrowseMode();
    setCurrent(row);
}

void RegistryDataset::moveBy(int delta)
{
    requireOpen();
    CheckBrowseMode();
    setCurrent(current_ + delta);
}

void RegistryDataset::Insert()
{
    requireOpen();
    CheckBrowseMode();
    const int row = std::max(current_, 0);
    if (!model_->insertRow(row))
        throw EDatabaseError(RegistryEngineText(model_->lastError()));
    insertFrom_ = current_;
    state_ = State::Insert;
    modified_ = false;
    pending_.clear();
    setCurrent(row);
}

void RegistryDataset::Edit()
{
    requireOpen();
    if (IsEditing())
        return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    state_ = State::Edit;
    modified_ = false;
    pending_ = AddressAt(current_);
    emit changed();
}

void RegistryDataset::SetAddress(const QByteArray& address)
{
    requireOpen();
    if (address.size() > RegistryAddressWidth)
        throw TarvelError("An address holds at most 40 characters");
    Edit();
    model_->storePending(current_, address);
    pending_ = address;
    modified_ = true;
    emit changed();
}

void RegistryDataset::SetAddressAt(int row, const QByteArray& address)
{
    requireOpen();
    if (row != current_) {
        const qint64 id = IdAt(row);
        CheckBrowseMode();
        // Posting an inserted row re-reads the rows in key order, so find the target again by its ID.
        const int target = id > 0 ? rowOfId(id) : row;
        if (target < 0)
            throw EDatabaseError("Record not found");
        setCurrent(target);
    }
    SetAddress(address);
}

void RegistryDataset::Delete()
{
    requireOpen();
    if (state_ == State::Insert) {
        Cancel();
        return;
    }
    if (IsEmpty())
        return;
    const int row = current_;
    const qint64 id = CurrentId();
    registry_.DeleteRow(id);
    model_->revertAll();
    state_ = State::Browse;
    modified_ = false;
    reload();
    setCurrent(row);
}

void RegistryDataset::Post()
{
    requireOpen();
    if (!IsEditing())
        return;
    if (state_ == State::Edit && !modified_) {
        Cancel();
        return;
    }
    if (const std::string refusal = RegistryAddressRefusal(pending_); !refusal.empty())
        throw TarvelError(refusal);
    qint64 id = 0;
    if (state_ == State::Insert) {
        id = registry_.InsertRow(pending_);
    } else {
        id = CurrentId();
        if (registry_.UpdateRow(id, pending_) == 0) {
            // Someone removed the row from the file meanwhile: there is nothing left to change.
            Cancel();
            reload();
            setCurrent(current_);
            throw EDatabaseError("Record not found: the row was removed from the registry file");
        }
    }
    model_->revertAll();
    state_ = State::Browse;
    modified_ = false;
    pending_.clear();
    reload();
    setCurrent(rowOfId(id));
}

void RegistryDataset::Cancel()
{
    requireOpen();
    if (!IsEditing())
        return;
    const bool inserting = state_ == State::Insert;
    model_->revertAll();
    state_ = State::Browse;
    modified_ = false;
    pending_.clear();
    if (inserting)
        setCurrent(insertFrom_);
    else
        emit changed();
}

void RegistryDataset::Refresh()
{
    requireOpen();
    CheckBrowseMode();
    const qint64 id = CurrentId();
    const int row = current_;
    reload();
    const int again = rowOfId(id);
    setCurrent(again >= 0 ? again : row);
}

void RegistryDataset::CheckBrowseMode()
{
    requireOpen();
    if (!IsEditing())
        return;
    if (modified_)
        Post();
    else
        Cancel();
}

void RegistryDataset::SettlePendingEdit()
{
    requireOpen();
    if (!IsEditing())
        return;
    if (modified_ && RegistryAddressRefusal(pending_).empty())
        Post();
    else
        Cancel();
}

bool RegistryDataset::SaveBookmark()
{
    requireOpen();
    const qint64 id = CurrentId();
    if (id <= 0)
        return false;
    bookmark_ = id;
    return true;
}

bool RegistryDataset::RestoreBookmark()
{
    requireOpen();
    CheckBrowseMode();
    if (!bookmark_)
        return false;
    const int row = rowOfId(*bookmark_);
    if (row < 0)
        return false;
    setCurrent(row);
    return true;
}

void RegistryDataset::requireOpen() const
{
    if (state_ == State::Closed)
        throw EDatabaseError(RegistryClosedMessage);
}

// select() reads 256 rows; the grid and the moves need them all.
void RegistryDataset::reload()
{
    if (!model_->select())
        throw EDatabaseError(RegistryEngineText(model_->lastError()));
    while (model_->canFetchMore())
        model_->fetchMore();
    rowById_.clear();
    for (int row = 0; row < model_->rowCount(); ++row)
        rowById_.insert(IdAt(row), row);
}

// Every row index given is brought into the rows there are: -1 only for an empty table.
void RegistryDataset::setCurrent(int row)
{
    current_ = RecordCount() == 0 ? -1 : std::clamp(row, 0, RecordCount() - 1);
    emit changed();
}

int RegistryDataset::rowOfId(qint64 id) const { return rowById_.value(id, -1); }

} // namespace tarvel
