#pragma once

// Answers the modal windows that open while a test runs. Each one (a message box, a dialog) is
// recorded; an optional action runs while it is open, inside its own event loop, the way an operator
// would act with the box on screen; then it is closed: a message box by its only button or its escape
// button, any other dialog rejected.
//
//   ModalBoxes boxes;
//   boxes.whileOpen = [&](QWidget* box) { ... };   // optional
//   window.showErrorBox("Unable to complete network request");   // returns once the box has closed
//   ASSERT_EQ(boxes.seen.size(), 1u);

#include <QComboBox>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <iosfwd>
#include <vector>

namespace tarvel {

class ModalBoxes : public QObject {
public:
    struct Box {
        QString className; // "QMessageBox", "tarvel::TdlgSetup"...
        QString objectName;
        QString title;
        QString text; // a message box's text; empty for other dialogs
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons; // a message box's button texts
        Qt::TextFormat textFormat = Qt::AutoText;
    };

    // Looks for an open modal window every `pollMs` milliseconds while the event loop runs.
    explicit ModalBoxes(int pollMs = 10);
    ~ModalBoxes() override;

    // Runs the event loop until `count` boxes have been seen in all, or `timeoutMs` has passed.
    bool waitFor(size_t count, int timeoutMs = 10000);

    std::function<void(QWidget* box)> whileOpen;
    std::vector<Box> seen;

private:
    void poll();

    QTimer timer_;
    bool busy_ = false;
    QPointer<QWidget> last_;
};

void PrintTo(const ModalBoxes::Box& box, std::ostream* out);

// The items of a combo box, as the operator sees them listed.
inline QStringList Items(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace tarvel
