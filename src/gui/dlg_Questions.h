#pragma once

#include <QByteArray>
#include <QString>

class QFileDialog;
class QWidget;

namespace tarvel {

// What the setup dialog asks the operator: two questions and the choice of the data file. The dialog
// asks through this interface so that tests can answer; in the window the answers come from modal
// boxes, which keep the event loop running.
class QuestionBoxes {
public:
    enum class Answer { Yes, No, Ok, Cancel, CloseBox };

    virtual ~QuestionBoxes() = default;

    // Titled "Information", information icon, buttons Yes (the default) and No; Esc answers No.
    // The box's close button gives CloseBox.
    virtual Answer askYesNo(const QByteArray& text) = 0;

    // Titled "Confirm", buttons OK and Cancel; Esc and the close button answer Cancel.
    virtual Answer askOkCancel(const QByteArray& text) = 0;

    // The file chooser as the dialog has set it up (OpenDialog): the chosen file's full path, or an
    // empty text when the chooser was cancelled.
    virtual QString chooseFile(QFileDialog& chooser) = 0;
};

// The questions as modal message boxes over `parent` (none: application-modal, centred on the screen),
// the file chooser run modally.
class MessageQuestionBoxes : public QuestionBoxes {
public:
    explicit MessageQuestionBoxes(QWidget* parent = nullptr) : parent_(parent) {}

    void setParent(QWidget* parent) { parent_ = parent; }

    Answer askYesNo(const QByteArray& text) override;
    Answer askOkCancel(const QByteArray& text) override;
    QString chooseFile(QFileDialog& chooser) override;

private:
    QWidget* parent_;
};

} // namespace tarvel
