#include "dlg_SetupFixture.h"
#include "gui/RegistryNavigator.h"
#include "gui/dlg_Setup.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace tarvel;
using Answer = QuestionBoxes::Answer;
using State = RegistryDataset::State;

namespace {

const char* const ButtonNames[14] = {
    "wwDBNavigator1First",        "wwDBNavigator1PriorPage",      "wwDBNavigator1Prior",  "wwDBNavigator1Next",
    "wwDBNavigator1NextPage",     "wwDBNavigator1Last",           "wwDBNavigator1Insert", "wwDBNavigator1Delete",
    "wwDBNavigator1Edit",         "wwDBNavigator1Post",           "wwDBNavigator1Cancel", "wwDBNavigator1Refresh",
    "wwDBNavigator1SaveBookmark", "wwDBNavigator1RestoreBookmark"};

class SetupRegistryTest : public SetupDialogTest {
protected:
    void SetUp() override
    {
        SetupDialogTest::SetUp();
        dialog = open();
        dialog->pgcSetup->setCurrentWidget(dialog->TabSheet3);
    }

    QToolButton* button(const char* name) const
    {
        auto* found = dialog->findChild<QToolButton*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Which of the 14 buttons are enabled, as a string of 1 and 0 from left to right.
    std::string enabled() const
    {
        std::string flags;
        for (const char* name : ButtonNames)
            flags += button(name)->isEnabled() ? '1' : '0';
        return flags;
    }

    // The grid's open cell editor, where typing goes; null when none is open.
    QLineEdit* editor() const
    {
        for (QLineEdit* line : dialog->wwDBGrid1->findChildren<QLineEdit*>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    // Types into the open cell editor over what it holds, as Ctrl+A and the keys do.
    void type(const QString& text)
    {
        QLineEdit* cell = editor();
        ASSERT_NE(cell, nullptr) << "no cell is open for typing";
        QTest::keyClick(cell, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(cell, text);
    }

    void add(const QByteArray& address)
    {
        data.Insert();
        data.SetAddress(address);
        data.Post();
    }

    std::unique_ptr<TdlgSetup> dialog;
};

TEST_F(SetupRegistryTest, NavigatorHasFourteenButtonsWithTheirHintsAndRepeatingMoves)
{
    const char* const hints[14] = {"Move to first record",
                                   "Move backward 10 records",
                                   "Move to prior record",
                                   "Move to next record",
                                   "Move forward 10 records",
                                   "Move to last record",
                                   "Insert new record",
                                   "Delete current record",
                                   "Edit current record",
                                   "Post changes of current record",
                                   "Cancel changes made to current record",
                                   "Refresh the contents of the dataset",
                                   "Bookmark current record",
                                   "Go back to saved bookmark"};
    auto* bar = dialog->findChild<QWidget*>("wwDBNavigator1");
    ASSERT_NE(bar, nullptr);
    const QList<QToolButton*> buttons = bar->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 14);
    int left = -1;
    for (int i = 0; i < 14; ++i) {
        QToolButton* b = button(ButtonNames[i]);
        EXPECT_EQ(b->toolTip(), hints[i]);
        EXPECT_GT(b->x(), left) << "out of order: " << ButtonNames[i];
        left = b->x();
        EXPECT_FALSE(b->icon().isNull());
        EXPECT_EQ(b->autoRepeat(), i < 6) << ButtonNames[i];
        if (i < 6) {
            EXPECT_EQ(b->autoRepeatDelay(), 500);
            EXPECT_EQ(b->autoRepeatInterval(), 100);
        }
    }
}

TEST_F(SetupRegistryTest, GridShowsOnlyTheAddressColumn)
{
    add("10.0.0.1");
    add("10.0.0.2");
    auto* grid = dialog->findChild<QTableView*>("wwDBGrid1");
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->model(), static_cast<QAbstractItemModel*>(data.model()));
    EXPECT_TRUE(grid->isColumnHidden(RegistryIdColumn));
    EXPECT_FALSE(grid->isColumnHidden(RegistryAddressColumn));
    EXPECT_EQ(grid->model()->headerData(RegistryAddressColumn, Qt::Horizontal).toString(), "ADDRESS");
    EXPECT_FALSE(grid->verticalHeader()->isVisible());
    EXPECT_GE(grid->columnWidth(RegistryAddressColumn), grid->fontMetrics().horizontalAdvance('0') * 40);
    EXPECT_EQ(grid->model()->index(1, RegistryAddressColumn).data().toString(), "10.0.0.2");
    EXPECT_EQ(grid->currentIndex().row(), data.RecNo());
}

// Enabled buttons, left to right: First PriorPage Prior Next NextPage Last Insert Delete Edit Post
// Cancel Refresh SaveBookmark RestoreBookmark.
TEST_F(SetupRegistryTest, ButtonsFollowTheTableStateAndPosition)
{
    EXPECT_EQ(enabled(), "00000010000100") << "empty table";

    click("wwDBNavigator1Insert");
    ASSERT_EQ(data.state(), State::Insert);
    EXPECT_EQ(enabled(), "00000011011100") << "inserting into an empty table";
    click("wwDBNavigator1Cancel");
    EXPECT_EQ(data.RecordCount(), 0);

    for (int i = 1; i <= 12; ++i)
        add("10.0.0." + QByteArray::number(i));
    click("wwDBNavigator1First");
    EXPECT_EQ(data.RecNo(), 0);
    EXPECT_EQ(enabled(), "00011111100110") << "at the first row";
    click("wwDBNavigator1NextPage");
    EXPECT_EQ(data.RecNo(), 10);
    EXPECT_EQ(enabled(), "11111111100110") << "in the middle";
    click("wwDBNavigator1Last");
    EXPECT_EQ(data.RecNo(), 11);
    EXPECT_EQ(enabled(), "11100011100110") << "at the last row";

    click("wwDBNavigator1Edit");
    ASSERT_EQ(data.state(), State::Edit);
    EXPECT_EQ(enabled(), "11100011011110") << "editing the last row";
    click("wwDBNavigator1Cancel");

    click("wwDBNavigator1PriorPage");
    EXPECT_EQ(data.RecNo(), 1);
    click("wwDBNavigator1SaveBookmark");
    EXPECT_EQ(enabled(), "11111111100111") << "with a bookmark";
    click("wwDBNavigator1Prior");
    EXPECT_EQ(data.RecNo(), 0);
    click("wwDBNavigator1RestoreBookmark");
    EXPECT_EQ(data.RecNo(), 1);
    click("wwDBNavigator1Next");
    EXPECT_EQ(data.RecNo(), 2);
    EXPECT_EQ(dialog->wwDBGrid1->currentIndex().row(), 2) << "the grid follows the table";
}

TEST_F(SetupRegistryTest, DeleteAsksAndCancelKeepsTheRow)
{
    add("10.0.0.1");
    add("10.0.0.2");
    data.First();

    questions.answers = {Answer::Cancel};
    click("wwDBNavigator1Delete");
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.1", "10.0.0.2"}));

    questions.answers = {Answer::Ok};
    click("wwDBNavigator1Delete");
    EXPECT_EQ(questions.asked, std::vector<ScriptedQuestions::Asked>(
                                   {{"ok/cancel", "Delete record?"}, {"ok/cancel", "Delete record?"}}));
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.2"}));
    TerminalRegistry other;
    other.OpenTerminalRegistry(programFolder);
    EXPECT_FALSE(other.Locate("10.0.0.1"));
    EXPECT_TRUE(other.Locate("10.0.0.2"));
    EXPECT_TRUE(front.boxes.empty());
}

TEST_F(SetupRegistryTest, PostRefusesAnAddressNoTerminalCouldHaveAndKeepsTheRowInEdit)
{
    click("wwDBNavigator1Insert");
    data.SetAddress("10.0.0.01");
    click("wwDBNavigator1Post");

    ASSERT_EQ(front.boxes.size(), 1u);
    EXPECT_EQ(front.boxes[0].kind, "error");
    EXPECT_TRUE(front.boxes[0].text.contains("\"10.0.0.01\" is not an IPv4 address"))
        << front.boxes[0].text.constData();
    EXPECT_EQ(data.state(), State::Insert);
    EXPECT_EQ(data.Address(), "10.0.0.01");
    EXPECT_TRUE(button("wwDBNavigator1Post")->isEnabled());

    front.clear();
    data.SetAddress("");
    click("wwDBNavigator1Post");
    EXPECT_EQ(front.boxTexts("error").size(), 1u);
    EXPECT_EQ(data.state(), State::Insert);

    data.SetAddress("10.0.0.1");
    click("wwDBNavigator1Post");
    EXPECT_EQ(data.state(), State::Browse);
    TerminalRegistry other;
    other.OpenTerminalRegistry(programFolder);
    EXPECT_EQ(other.Addresses(), QList<QByteArray>({"10.0.0.1"}));
}

// The navigator's buttons take no focus, so the cell editor stays open while they act: what is typed
// there reaches the row before each button acts, and typing alone puts Post and Cancel on.
TEST_F(SetupRegistryTest, TypedAddressesReachTheRowBeforeEveryNavigatorButton)
{
    click("wwDBNavigator1Insert");
    type("192.168.1.77");
    click("wwDBNavigator1Post");
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"192.168.1.77"}));

    // F2 opens the cell of the stored row; the first key typed starts its edit.
    QTest::keyClick(dialog->wwDBGrid1, Qt::Key_F2);
    type("192.168.1.78");
    EXPECT_EQ(enabled(), "00000011011110") << "Post and Cancel while typing";
    click("wwDBNavigator1Post");
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"192.168.1.78"}));

    click("wwDBNavigator1Edit");
    type("10.0.0.5");
    click("wwDBNavigator1Post");
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.5"}));

    // "+" while a new row is typed posts that row first; Cancel drops only the row being typed.
    click("wwDBNavigator1Insert");
    type("10.0.0.6");
    click("wwDBNavigator1Insert");
    type("10.0.0.7");
    click("wwDBNavigator1Cancel");
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(data.state(), State::Browse);

    // Typed and then another page shown: OK finds the row being typed and asks to save it first.
    QTest::keyClick(dialog->wwDBGrid1, Qt::Key_F2);
    type("10.0.0.9");
    QTabBar* tabs = dialog->pgcSetup->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    dialog->BitBtn1->click();
    EXPECT_EQ(front.boxTexts("notice"), std::vector<QByteArray>({"Please save your Client IP Address."}));
    EXPECT_EQ(data.Address(), "10.0.0.9");
}

// One rule for what is stored: a row that Post refused, left pending when the dialog is closed with
// Cancel, is dropped by the next scan's registry search instead of stored.
TEST_F(SetupRegistryTest, ARowPostRefusedNeverReachesTheTableThroughTheSearch)
{
    click("wwDBNavigator1Insert");
    QTest::keyClick(dialog->wwDBGrid1, Qt::Key_F2);
    type("till 3 (front)");
    QTest::keyClick(editor(), Qt::Key_Return);
    QTest::qWait(20); // the view commits the editor's text on the next turn
    click("wwDBNavigator1Post");
    EXPECT_EQ(front.boxTexts("error").size(), 1u);
    QTest::mouseClick(dialog->BitBtn2, Qt::LeftButton);

    EXPECT_FALSE(registry.Locate("10.0.0.1"));
    EXPECT_TRUE(registry.Addresses().isEmpty()) << registry.Addresses().value(0).constData();
}

// Typing in a cell edits the row; choosing another row posts it, or is refused with the row kept.
TEST_F(SetupRegistryTest, TypingInTheGridEditsAndMovingAwayPostsOrRefuses)
{
    add("10.0.0.1");
    add("10.0.0.2");
    QTableView* grid = dialog->wwDBGrid1;
    grid->setFocus();
    data.First();

    grid->edit(grid->model()->index(0, RegistryAddressColumn));
    auto* editor = grid->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maxLength(), 40);
    editor->selectAll();
    QTest::keyClicks(editor, "10.0.0.9");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::qWait(20); // the view commits the editor's text on the next turn
    EXPECT_EQ(data.state(), State::Edit);
    EXPECT_EQ(data.Address(), "10.0.0.9");

    grid->setCurrentIndex(grid->model()->index(1, RegistryAddressColumn));
    QTest::qWait(20); // the dataset follows on the next turn of the event loop
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(data.RecNo(), 1);
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.9", "10.0.0.2"}));

    data.SetAddress("not an address");
    grid->setCurrentIndex(grid->model()->index(0, RegistryAddressColumn));
    QTest::qWait(20);
    EXPECT_EQ(front.boxTexts("error").size(), 1u);
    EXPECT_EQ(data.state(), State::Edit);
    EXPECT_EQ(data.RecNo(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 1);
}

TEST_F(SetupRegistryTest, GridKeysInsertAndDeleteRows)
{
    add("10.0.0.1");
    QTableView* grid = dialog->wwDBGrid1;
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(data.state(), State::Insert);
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(data.RecordCount(), 1);
    EXPECT_TRUE(dialog->isVisible());

    questions.answers = {Answer::Ok};
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(data.RecordCount(), 0);
}

TEST(SetupRegistryClosed, AClosedTableLeavesTheGridEmptyAndTheNavigatorOff)
{
    QTemporaryDir dir;
    RecordingFront front;
    ScriptedQuestions questions;
    TerminalRegistry registry; // never opened
    RegistryDataset data(registry);
    IniFile settings(dir.filePath("Tarvel.ini"));
    PosConnections pos;
    TdlgSetup dialog(settings, data, pos, "S01", front, questions);
    dialog.show();
    EXPECT_EQ(dialog.wwDBGrid1->model(), nullptr);
    for (QToolButton* b : dialog.wwDBNavigator1->findChildren<QToolButton*>())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
}

} // namespace
