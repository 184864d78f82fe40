#pragma once

#include "data/TerminalRegistry.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <memory>
#include <optional>

class QSqlTableModel;

namespace tarvel {

class RegistryTableModel;

// The registry table as the setup dialog's grid and navigator see it (tblTarvel with dsTarvel): one
// current row, a state, and the moves and edits of a database navigator, over the registry's open
// table. The rows live in a QSqlTableModel (manual submit, primary-key order, every row fetched) that
// the grid shows; the pending edit of the current row is held in the model's cache until Post or
// Cancel, or until the registry's next search settles it. The writes are the registry's own, each
// committed, on disk when Post or Delete returns. Owned by the window, so that a row left pending
// when the dialog closes stays pending; not on the road of a scan.
//
// Operations on a closed dataset throw EDatabaseError. Moves, Insert, Refresh and RestoreBookmark
// first end a pending edit (CheckBrowseMode), so they may throw what Post throws. `changed` is
// emitted after every change of state, position or rows, for the navigator to enable its buttons.
class RegistryDataset : public QObject, public PendingEdit {
    Q_OBJECT
public:
    enum class State { Closed, Browse, Edit, Insert };

    // The registry must outlive the dataset.
    explicit RegistryDataset(TerminalRegistry& registry);
    ~RegistryDataset() override;

    // Reads the rows of the registry's open table and takes up settling the pending row before each of
    // its searches; stays closed while the registry is. Throws EDatabaseError (and stays closed) when
    // the rows cannot be read.
    void Open();
    // Drops a pending edit, unposted, forgets the rows and leaves the registry's searches alone.
    void Close();

    State state() const { return state_; }
    bool IsOpen() const { return state_ != State::Closed; }
    // Editing or inserting a row not yet posted: the setup dialog's OK refuses to close then.
    bool IsEditing() const { return state_ == State::Edit || state_ == State::Insert; }
    // The pending row holds a change (SetAddress was called since Edit or Insert).
    bool Modified() const { return modified_; }

    // The model the grid shows. Hide RegistryIdColumn in the view; typing in an ADDRESS cell goes
    // through SetAddressAt. Owned by the dataset; null while closed.
    QSqlTableModel* model() const;

    int RecordCount() const; // rows in the model, the pending inserted one included
    bool IsEmpty() const { return RecordCount() == 0; }
    int RecNo() const { return current_; } // current row, -1 when empty or closed
    // At the first / last row (both when empty): the navigator disables First and Prior / Next and Last.
    bool Bof() const;
    bool Eof() const;

    QByteArray Address() const; // of the current row; the pending value while editing
    QByteArray AddressAt(int row) const; // as stored (or pending), byte for byte
    qint64 CurrentId() const; // 0 for the unposted inserted row or when empty
    qint64 IdAt(int row) const;

    void First();
    void PriorPage(); // 10 rows back, stopping at the first
    void Prior();
    void Next();
    void NextPage(); // 10 rows forward, stopping at the last
    void Last();
    void MoveTo(int row); // clamped to the rows there are

    // A new empty row before the current one (the first row of an empty table); it becomes current.
    void Insert();
    // Starts editing the current row; on an empty table it inserts, as a navigator expects.
    void Edit();
    // Sets ADDRESS of the current row, starting an edit when browsing. Throws TarvelError for more
    // than 40 characters (the field cannot hold them), leaving the row as it was.
    void SetAddress(const QByteArray& address);
    // What the grid's typing does: moves to `row` first (ending another row's pending edit).
    void SetAddressAt(int row, const QByteArray& address);
    // Deletes the current row (the caller has asked the operator). Cancels an unposted insert.
    void Delete();
    // Stores the pending row. Refuses, with TarvelError and the row left pending, an address that
    // RegistryAddressRefusal refuses. Engine failures throw EDatabaseError, also with the row left pending.
    void Post();
    // Drops the pending change; a cancelled insert removes its row.
    void Cancel();
    // Reads the rows again from the file, staying on the current row when it still exists.
    void Refresh();
    // Posts a pending row that holds a change (with Post's checks), cancels one that does not.
    void CheckBrowseMode();

    // Remembers the current stored row (an unposted row cannot be remembered: returns false).
    bool SaveBookmark();
    // Goes back to the remembered row; false when there is none or it is gone.
    bool RestoreBookmark();
    bool HasBookmark() const { return bookmark_.has_value(); }

    // The search's own end of a pending edit: posts a changed row that the rule accepts, and cancels
    // one that it refuses or that holds no change, so that what Post refuses never reaches the table
    // this way either, and a search never fails over text an operator left pending. Throws
    // EDatabaseError on engine failure.
    void SettlePendingEdit() override;
    // The registry is closing: Close.
    void DropPendingEdit() override { Close(); }

signals:
    void changed();
    // Typing in the grid was refused (the model's setData cannot throw into the view): the message,
    // and whether it is an engine failure (for the "Error" box) or a refusal of the text.
    void editRefused(const QByteArray& message, bool databaseError);

private:
    void requireOpen() const;
    void reload();
    void moveBy(int delta);
    void setCurrent(int row);
    int rowOfId(qint64 id) const;

    TerminalRegistry& registry_;
    std::unique_ptr<RegistryTableModel> model_;
    QHash<qint64, int> rowById_;
    State state_ = State::Closed;
    int current_ = -1;
    int insertFrom_ = -1; // the row current before Insert, for Cancel
    bool modified_ = false;
    QByteArray pending_; // the pending ADDRESS, byte for byte
    std::optional<qint64> bookmark_;
};

} // namespace tarvel
