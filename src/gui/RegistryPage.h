#pragma once

#include <QObject>

#include <functional>

class QByteArray;
class QEvent;
class QTableView;
class QWidget;

namespace tarvel {

class Front;
class QuestionBoxes;
class RegistryDataset;
class RegistryNavigator;

// The registry's part of the setup dialog's Client Setup page: the navigator bar (wwDBNavigator1) and
// the grid of terminal addresses (wwDBGrid1) over the window's data set, the navigator's actions, the
// grid's keyboard and the text typed in its cell editor. Refusals of a row and the engine's failures
// show in the "Error" box; rows are stored the moment they are posted.
// The widgets are children of the page; this object is the dialog's child, deleted after the pages.
class RegistryPage : public QObject {
    Q_OBJECT
public:
    // Builds the navigator and then the grid on `page` (so they take the tab order in that order), over
    // `dataset`; asks through `questions` and shows boxes through `front`. All must outlive it.
    RegistryPage(QWidget* page, RegistryDataset& dataset, Front& front, QuestionBoxes& questions, QObject* parent);

    RegistryNavigator* navigator() const { return navigator_; }
    QTableView* grid() const { return grid_; }

    // Hands the text still in the grid's open cell editor to its row, as leaving the page or closing the
    // dialog does. A refusal shows in the "Error" box, the editor staying open with the text: false then.
    bool commitEdit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildNavigator(QWidget* page);
    void buildGrid(QWidget* page);
    void updateNavigator();
    void showCurrentRow();
    // Runs a registry action at the handler's edge: refusals and engine errors in the "Error" box,
    // anything else to the general error report. True when the action ran to its end.
    bool guarded(const std::function<void()>& action);
    // A navigator button's action, after the grid's open cell editor has handed its text to the row.
    void navigate(const std::function<void()>& action);
    void commitGridEdit();
    void editCurrentRow();
    void startTyping();
    void askDelete();
    void gridRowChosen();
    void followGrid();
    void editRefused(const QByteArray& message, bool databaseError);

    RegistryDataset& dataset_;
    Front& front_;
    QuestionBoxes& questions_;
    RegistryNavigator* navigator_ = nullptr;
    QTableView* grid_ = nullptr;
    bool followingDataset_ = false;
    bool gridMovePending_ = false;
};

} // namespace tarvel
