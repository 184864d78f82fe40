#include "support/ModalBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTest>

#include <ostream>

namespace tarvel {

ModalBoxes::ModalBoxes(int pollMs)
{
    timer_.setInterval(pollMs);
    connect(&timer_, &QTimer::timeout, this, &ModalBoxes::poll);
    timer_.start();
}

ModalBoxes::~ModalBoxes() = default;

bool ModalBoxes::waitFor(size_t count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (seen.size() < count && !deadline.hasExpired())
        QTest::qWait(10);
    return seen.size() >= count;
}

void ModalBoxes::poll()
{
    QWidget* box = QApplication::activeModalWidget();
    // A box already answered may still be on the modal stack for a moment while it closes.
    if (!box || busy_ || box == last_)
        return;
    busy_ = true;
    last_ = box;

    Box record;
    record.className = QString::fromLatin1(box->metaObject()->className());
    record.objectName = box->objectName();
    record.title = box->windowTitle();
    auto* message = qobject_cast<QMessageBox*>(box);
    if (message) {
        record.text = message->text();
        record.icon = message->icon();
        record.textFormat = message->textFormat();
        for (QAbstractButton* button : message->buttons())
            record.buttons << button->text().remove('&');
    }
    seen.push_back(record);

    if (whileOpen)
        whileOpen(box);

    if (!last_ || !box->isVisible()) {
        // The action has closed it already.
    } else if (message) {
        const QList<QAbstractButton*> buttons = message->buttons();
        if (buttons.size() == 1)
            buttons.front()->click();
        else if (message->escapeButton())
            message->escapeButton()->click();
        else
            message->reject();
    } else if (auto* dialog = qobject_cast<QDialog*>(box)) {
        dialog->reject();
    } else {
        box->close();
    }
    busy_ = false;
}

void PrintTo(const ModalBoxes::Box& box, std::ostream* out)
{
    *out << box.className.toStdString() << " \"" << box.title.toStdString() << "\": " << box.text.toStdString();
}

} // namespace tarvel
