// The setup dialog's keyboard, through the window system: Enter and Space press the focused button,
// Enter in a text field presses none (the dialog has no default button).

#include "dlg_SetupFixture.h"
#include "gui/dlg_Setup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace tarvel;
using Answer = QuestionBoxes::Answer;

namespace {

TEST_F(SetupDialogTest, EnterAndSpacePressTheFocusedButtonAndEnterInAFieldNone)
{
    auto dialog = open();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    const auto key = [&](Qt::Key pressed) { QTest::keyClick(dialog->windowHandle(), pressed); };
    const auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 20 && dialog->focusWidget() != target; ++i)
            key(Qt::Key_Tab);
        return dialog->focusWidget() == target;
    };
    int chooserOpened = 0;
    questions.choose = [&](QFileDialog&) {
        ++chooserOpened;
        return QString();
    };

    struct Case {
        QWidget* focus;
        Qt::Key pressed;
        size_t questionsAfter; // the save question, each answered No
        int choosersAfter;
    };
    const Case cases[] = {
        {dialog->BitBtn1, Qt::Key_Return, 1, 0},      {dialog->BitBtn1, Qt::Key_Enter, 2, 0},
        {dialog->BitBtn1, Qt::Key_Space, 3, 0},       {dialog->Edit2, Qt::Key_Return, 3, 0},
        {dialog->Edit3, Qt::Key_Return, 3, 0},        {dialog->BitBtn3, Qt::Key_Return, 3, 1},
        {dialog->edtCurrSymbol, Qt::Key_Enter, 3, 1},
    };
    for (const Case& c : cases) {
        const std::string name = c.focus->objectName().toStdString();
        if (QWidget* page = c.focus->parentWidget(); page != dialog.get())
            dialog->pgcSetup->setCurrentWidget(page);
        if (c.questionsAfter > questions.asked.size())
            questions.answers.push_back(Answer::No);
        ASSERT_TRUE(tabTo(c.focus)) << name;
        key(c.pressed);
        EXPECT_EQ(questions.asked.size(), c.questionsAfter) << name << " " << c.pressed;
        EXPECT_EQ(chooserOpened, c.choosersAfter) << name << " " << c.pressed;
        EXPECT_TRUE(dialog->isVisible()) << name;
    }
    for (const ScriptedQuestions::Asked& asked : questions.asked)
        EXPECT_EQ(asked.text, SaveQuestion);
    EXPECT_FALSE(QFile::exists(settings.FileName())) << "every save was answered No";

    // Enter on Cancel closes the dialog, as its click does.
    dialog->pgcSetup->setCurrentWidget(dialog->TabSheet1);
    ASSERT_TRUE(tabTo(dialog->BitBtn2));
    key(Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

} // namespace
