#include "gui/RegistryPage.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "base/Front.h"
#include "gui/RegistryDataset.h"
#include "gui/RegistryNavigator.h"
#include "gui/dlg_Questions.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSqlTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace tarvel {

namespace {

// The grid's editor takes at most the 40 characters an address field holds, and says when the
// operator first changes its text.
class AddressDelegate : public QStyledItemDelegate {
public:
    AddressDelegate(QObject* parent, std::function<void()> typed)
        : QStyledItemDelegate(parent), typed_(std::move(typed))
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(RegistryAddressWidth);
            connect(line, &QLineEdit::textEdited, this, typed_);
        }
        return editor;
    }

private:
    std::function<void()> typed_;
};

// The registry's grid, which hands out the cell editor it has open (on the current cell) and closes
// it without storing its text.
class RegistryGrid : public QTableView {
public:
    using QTableView::QTableView;
    QLineEdit* openEditor() const { return qobject_cast<QLineEdit*>(indexWidget(currentIndex())); }
    void dropEditor()
    {
        if (QLineEdit* editor = openEditor())
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
};

} // namespace

RegistryPage::RegistryPage(QWidget* page, RegistryDataset& dataset, Front& front, QuestionBoxes& questions,
                           QObject* parent)
    : QObject(parent), dataset_(dataset), front_(front), questions_(questions)
{
    buildNavigator(page);
    buildGrid(page);
}

void RegistryPage::buildGrid(QWidget* page)
{
    grid_ = new RegistryGrid(page);
    grid_->setObjectName("wwDBGrid1");
    grid_->setGeometry(24, 76, 440, 290);
    grid_->verticalHeader()->hide();
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                           | QAbstractItemView::AnyKeyPressed);
    grid_->setItemDelegate(new AddressDelegate(grid_, [this] { startTyping(); }));
    grid_->installEventFilter(this);
    if (QSqlTableModel* model = dataset_.model()) {
        grid_->setModel(model);
        grid_->setColumnHidden(RegistryIdColumn, true);
        grid_->setColumnWidth(RegistryAddressColumn,
                              grid_->fontMetrics().horizontalAdvance('0') * RegistryAddressWidth + 8);
        connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &RegistryPage::gridRowChosen);
    }
    connect(&dataset_, &RegistryDataset::changed, this, [this] {
        updateNavigator();
        showCurrentRow();
    });
    // The refusal arrives from inside the view's commit; the box opens once the view is done.
    connect(&dataset_, &RegistryDataset::editRefused, this, &RegistryPage::editRefused, Qt::QueuedConnection);
    updateNavigator();
    showCurrentRow();
}

void RegistryPage::buildNavigator(QWidget* page)
{
    navigator_ = new RegistryNavigator(page);
    navigator_->move(24, 40);
    using Button = RegistryNavigator::Button;
    const auto onClick = [this](Button which, std::function<void()> action) {
        connect(navigator_->button(which), &QToolButton::clicked, this,
                [this, action = std::move(action)] { navigate(action); });
    };
    onClick(Button::First, [this] { dataset_.First(); });
    onClick(Button::PriorPage, [this] { dataset_.PriorPage(); });
    onClick(Button::Prior, [this] { dataset_.Prior(); });
    onClick(Button::Next, [this] { dataset_.Next(); });
    onClick(Button::NextPage, [this] { dataset_.NextPage(); });
    onClick(Button::Last, [this] { dataset_.Last(); });
    onClick(Button::Insert, [this] {
        dataset_.Insert();
        editCurrentRow();
    });
    onClick(Button::Delete, [this] { askDelete(); });
    onClick(Button::Edit, [this] {
        dataset_.Edit();
        editCurrentRow();
    });
    onClick(Button::Post, [this] { dataset_.Post(); });
    // Cancel drops what is typed as well.
    connect(navigator_->button(Button::Cancel), &QToolButton::clicked, this, [this] {
        static_cast<RegistryGrid*>(grid_)->dropEditor();
        guarded([this] { dataset_.Cancel(); });
    });
    onClick(Button::Refresh, [this] { dataset_.Refresh(); });
    onClick(Button::SaveBookmark, [this] {
        dataset_.SaveBookmark();
        updateNavigator();
    });
    onClick(Button::RestoreBookmark, [this] { dataset_.RestoreBookmark(); });
}

bool RegistryPage::commitEdit()
{
    return guarded([this] { commitGridEdit(); });
}

bool RegistryPage::guarded(const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (const TarvelError& error) {
        // Refusals of the row's text and the engine's failures alike: the operator fixes the row.
        front_.showErrorBox(error.what());
    } catch (const std::exception& error) {
        ReportErrorNow(front_, error.what());
    }
    return false;
}

void RegistryPage::navigate(const std::function<void()>& action)
{
    guarded([&] {
        commitGridEdit();
        action();
    });
}

// The navigator's buttons take no focus, so a cell editor stays open while they act: its text goes
// to its row first. Refused, the editor stays open with the text, and the refusal is thrown.
void RegistryPage::commitGridEdit()
{
    auto* grid = static_cast<RegistryGrid*>(grid_);
    const QLineEdit* editor = grid->openEditor();
    if (!editor)
        return;
    const int row = grid->currentIndex().row();
    // One byte per character, as the dialog's other texts.
    const QByteArray typed = editor->text().toLatin1();
    if (typed != dataset_.AddressAt(row))
        dataset_.SetAddressAt(row, typed);
    grid->dropEditor();
}

// After Insert or Edit the row's cell is open for typing.
void RegistryPage::editCurrentRow()
{
    if (!grid_->model() || dataset_.RecNo() < 0)
        return;
    showCurrentRow();
    grid_->edit(grid_->model()->index(dataset_.RecNo(), RegistryAddressColumn));
}

// The first key typed in a cell starts the edit of its row, so that Post and Cancel are on at once
// and OK knows that a row is being typed.
void RegistryPage::startTyping()
{
    if (dataset_.IsEditing() || grid_->currentIndex().row() != dataset_.RecNo())
        return;
    guarded([this] { dataset_.Edit(); });
}

void RegistryPage::askDelete()
{
    if (questions_.askOkCancel("Delete record?") != QuestionBoxes::Answer::Ok)
        return;
    guarded([this] { dataset_.Delete(); });
}

void RegistryPage::updateNavigator() { navigator_->follow(dataset_); }

// The grid follows the dataset's current row.
void RegistryPage::showCurrentRow()
{
    if (!grid_->model() || !grid_->selectionModel())
        return;
    const int row = dataset_.RecNo();
    if (row < 0 || grid_->currentIndex().row() == row)
        return;
    followingDataset_ = true;
    grid_->setCurrentIndex(grid_->model()->index(row, RegistryAddressColumn));
    followingDataset_ = false;
}

// The grid's current row changed. That happens also inside the dataset's own work (rows removed or
// read again), where moving the dataset would re-enter it; so the move waits for the next turn of the
// event loop, when the dataset has settled and has put the grid on its row again if it moved itself.
void RegistryPage::gridRowChosen()
{
    if (followingDataset_ || gridMovePending_)
        return;
    gridMovePending_ = true;
    QTimer::singleShot(0, this, &RegistryPage::followGrid);
}

// The operator picked a row: the dataset moves there, ending a pending edit first. When that is
// refused the grid goes back to the row still being edited.
void RegistryPage::followGrid()
{
    gridMovePending_ = false;
    const int row = grid_->currentIndex().row();
    if (row < 0 || row == dataset_.RecNo() || !dataset_.IsOpen())
        return;
    guarded([this, row] { dataset_.MoveTo(row); });
    showCurrentRow();
}

void RegistryPage::editRefused(const QByteArray& message, bool databaseError)
{
    (void)databaseError; // both kinds ask the operator to fix the row
    front_.showErrorBox(message);
}

// The grid's keyboard: Insert starts a new row, Ctrl+Delete deletes after the question, Esc drops the
// pending changes of the row.
bool RegistryPage::eventFilter(QObject* watched, QEvent* event)
{
    // An open cell editor has the keyboard itself; these reach the grid only between edits.
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            if (guarded([this] { dataset_.Insert(); }))
                editCurrentRow();
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            if (!dataset_.IsEmpty())
                askDelete();
            return true;
        }
        if (key->key() == Qt::Key_Escape && dataset_.IsEditing()) {
            guarded([this] { dataset_.Cancel(); });
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarvel
