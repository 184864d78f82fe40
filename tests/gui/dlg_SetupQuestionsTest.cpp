#include "gui/dlg_Questions.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace tarvel;
using Answer = QuestionBoxes::Answer;

namespace {

// The message boxes behind the questions: Enter takes the default, Esc answers No or Cancel, and the
// close button of the save question goes on as a Yes.
TEST(MessageQuestionBoxes, AnswerAsTheOperatorClosesThem)
{
    struct Case {
        bool yesNo;
        std::function<void(QMessageBox*)> act;
        Answer expected;
    };
    const Case cases[] = {
        {true, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, Answer::Yes},
        {true, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, Answer::No},
        {true, [](QMessageBox* box) { box->button(QMessageBox::No)->click(); }, Answer::No},
        {true, [](QMessageBox* box) { box->close(); }, Answer::CloseBox},
        {false, [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, Answer::Ok},
        {false, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, Answer::Cancel},
        {false, [](QMessageBox* box) { box->close(); }, Answer::Cancel},
    };
    for (const Case& c : cases) {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            c.act(box);
        });
        MessageQuestionBoxes questions;
        const Answer answer =
            c.yesNo ? questions.askYesNo("Are you sure want to [SAVE] ?") : questions.askOkCancel("Delete record?");
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(title, c.yesNo ? "Information" : "Confirm");
        EXPECT_EQ(text, c.yesNo ? "Are you sure want to [SAVE] ?" : "Delete record?");
        EXPECT_EQ(icon, c.yesNo ? QMessageBox::Information : QMessageBox::Question);
    }
}

} // namespace
