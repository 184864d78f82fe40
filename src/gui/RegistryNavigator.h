#pragma once

#include <QWidget>

class QToolButton;

namespace tarvel {

class RegistryDataset;

// The registry's navigator bar (wwDBNavigator1): fourteen small buttons, left to right First,
// PriorPage, Prior, Next, NextPage, Last, Insert, Delete, Edit, Post, Cancel, Refresh, SaveBookmark and
// RestoreBookmark, each named "wwDBNavigator1" and its button's name, with its hint and a picture drawn
// here; the six moves repeat while held down. It acts on nothing itself: the setup dialog's RegistryPage
// connects each button to its action on the data set.
class RegistryNavigator : public QWidget {
    Q_OBJECT
public:
    enum class Button {
        First,
        PriorPage,
        Prior,
        Next,
        NextPage,
        Last,
        Insert,
        Delete,
        Edit,
        Post,
        Cancel,
        Refresh,
        SaveBookmark,
        RestoreBookmark
    };
    static constexpr int ButtonCount = 14;

    explicit RegistryNavigator(QWidget* parent);

    QToolButton* button(Button which) const { return buttons_[static_cast<int>(which)]; }
    // Enables each button as the data set's state, current row and bookmark allow.
    void follow(const RegistryDataset& dataset);

private:
    QToolButton* buttons_[ButtonCount] = {};
};

} // namespace tarvel
