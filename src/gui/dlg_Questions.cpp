#include "gui/dlg_Questions.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>

#include <optional>

namespace tarvel {

namespace {

// A message box that tells its close button apart from Esc: QMessageBox maps both to its escape
// button, while the save question treats the close button as a Yes.
class QuestionBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

    bool closedByCloseBox() const { return closedByCloseBox_; }

protected:
    // Button clicks and Esc finish the box without a close event; only a close request comes here.
    void closeEvent(QCloseEvent* event) override
    {
        closedByCloseBox_ = true;
        QMessageBox::closeEvent(event);
    }

private:
    bool closedByCloseBox_ = false;
};

// Runs the box modally; gives the button pressed, or nullopt when the box's close button closed it.
std::optional<QMessageBox::StandardButton> Ask(QWidget* parent, QMessageBox::Icon icon, const char* title,
                                               const QByteArray& text, QMessageBox::StandardButton first,
                                               QMessageBox::StandardButton second, const char* name)
{
    QuestionBox box(icon, title, QString::fromLatin1(text), first | second, parent);
    box.setObjectName(name);
    box.setDefaultButton(first);
    box.setEscapeButton(second);
    const int result = box.exec();
    if (box.closedByCloseBox())
        return std::nullopt;
    return static_cast<QMessageBox::StandardButton>(result);
}

} // namespace

QuestionBoxes::Answer MessageQuestionBoxes::askYesNo(const QByteArray& text)
{
    const auto button =
        Ask(parent_, QMessageBox::Information, "Information", text, QMessageBox::Yes, QMessageBox::No, "QuestionYesNo");
    if (!button)
        return Answer::CloseBox;
    return *button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QuestionBoxes::Answer MessageQuestionBoxes::askOkCancel(const QByteArray& text)
{
    const auto button =
        Ask(parent_, QMessageBox::Question, "Confirm", text, QMessageBox::Ok, QMessageBox::Cancel, "QuestionOkCancel");
    return button && *button == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

QString MessageQuestionBoxes::chooseFile(QFileDialog& chooser)
{
    return chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()
             ? chooser.selectedFiles().constFirst()
             : QString();
}

} // namespace tarvel
