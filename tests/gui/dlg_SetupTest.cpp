#include "gui/dlg_Setup.h"

#include "dlg_SetupFixture.h"
#include "platform/LocalAddresses.h"
#include "support/ModalBoxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkInterface>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/resource.h>

#include <csignal>
#endif

using namespace tarvel;
using Answer = QuestionBoxes::Answer;

namespace {

QString PageShown(const TdlgSetup& dialog) { return dialog.pgcSetup->tabText(dialog.pgcSetup->currentIndex()); }

// Every control of the dialog, by the object name that tests and the screenshots find it by.
TEST_F(SetupDialogTest, HasEveryControlByNameWithItsText)
{
    auto dialog = open();
    EXPECT_EQ(dialog->windowTitle(), "Setup");
    EXPECT_EQ(dialog->size(), QSize(792, 456));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_TRUE(dialog->isModal());

    auto* pages = dialog->findChild<QTabWidget*>("pgcSetup");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->height(), 409);
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->tabText(0), "Server Setup");
    EXPECT_EQ(pages->tabText(1), "FDB Data Setup");
    EXPECT_EQ(pages->tabText(2), "Client Setup");
    EXPECT_EQ(pages->tabText(3), "Other Setup");

    const std::pair<const char*, const char*> labels[] = {{"Label1", "Your Current IP : "},
                                                          {"Label2", "TCP Port : "},
                                                          {"Label3", "FDB Data FileName : "},
                                                          {"Label4", "Client IP Address : "},
                                                          {"Label5", "Currency Symbol"}};
    for (const auto& [name, text] : labels) {
        auto* label = dialog->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), text);
    }
    const std::pair<const char*, const char*> boxes[] = {{"CheckBoxVexaXE", "Vexa XE"},
                                                         {"CheckBox1", "EAN 8 Always Trim Digits"},
                                                         {"CheckBox2", "EAN 13 Always Trim Digits"},
                                                         {"cbAutoStart", "Auto Start"},
                                                         {"cbStoreSHELF", "Send -> StoreSHELF"},
                                                         {"cbPluBarcode", "Send -> SKU+Barcode"}};
    for (const auto& [name, text] : boxes) {
        auto* box = dialog->findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(box->text(), text);
    }
    for (const char* name : {"Edit2", "Edit3", "edtCurrSymbol"})
        EXPECT_NE(dialog->findChild<QLineEdit*>(name), nullptr) << name;
    EXPECT_NE(dialog->findChild<QListWidget*>("ListBox1"), nullptr);
    EXPECT_NE(dialog->findChild<QFileDialog*>("OpenDialog"), nullptr);

    auto* ok = dialog->findChild<QPushButton*>("BitBtn1");
    auto* cancel = dialog->findChild<QPushButton*>("BitBtn2");
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(cancel->text(), "Cancel");
    // Neither is the dialog's default button.
    EXPECT_FALSE(ok->isDefault() || ok->autoDefault() || cancel->isDefault() || cancel->autoDefault());
    for (const char* name : {"BitBtn3", "BitBtn4"}) {
        auto* button = dialog->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_FALSE(button->icon().isNull());
    }

    auto* prices = dialog->findChild<QComboBox*>("ComboBoxPriceLevel");
    ASSERT_NE(prices, nullptr);
    EXPECT_TRUE(prices->isEditable());
    EXPECT_EQ(Items(prices), QStringList({"M_PRICE", "M_P1_S1", "M_P1_S2", "M_P1_S3", "M_P1_S4", "M_P1_S5", "M_P1_S6",
                                          "M_P1_S7", "M_P1_S8", "M_P1_S9", "M_P1_MIN_PRICE"}));
}

TEST_F(SetupDialogTest, OpensWithTheDefaultsWhenThereIsNoSettingsFile)
{
    auto dialog = open();
    EXPECT_EQ(PageShown(*dialog), "Server Setup");
    EXPECT_EQ(dialog->Edit2->text(), "9101");
    EXPECT_EQ(dialog->Edit3->text(), "");
    EXPECT_FALSE(dialog->CheckBoxVexaXE->isChecked());
    EXPECT_EQ(dialog->ComboBoxPriceLevel->currentText(), "M_PRICE");
    for (QCheckBox* box :
         {dialog->CheckBox1, dialog->CheckBox2, dialog->cbAutoStart, dialog->cbStoreSHELF, dialog->cbPluBarcode})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(dialog->edtCurrSymbol->text(), "RM");

    QStringList addresses;
    for (const QByteArray& address : LocalAddresses())
        addresses << QString::fromLatin1(address);
    QStringList shown;
    for (int i = 0; i < dialog->ListBox1->count(); ++i)
        shown << dialog->ListBox1->item(i)->text();
    EXPECT_EQ(shown, addresses);
    // No loopback address, which no terminal can reach, while the machine has another IPv4 address.
    const QList<QHostAddress> interfaces = QNetworkInterface::allAddresses();
    if (std::any_of(interfaces.begin(), interfaces.end(),
                    [](auto& a) { return a.toIPv4Address() && !a.isLoopback(); })) {
        for (const QString& address : shown)
            EXPECT_FALSE(QHostAddress(address).isLoopback()) << address.toStdString();
    }
    EXPECT_FALSE(QFile::exists(settings.FileName())) << "opening wrote to the file";
}

TEST_F(SetupDialogTest, ShowsWhatTheFileHoldsAndOnlyAnUpperCaseTTicks)
{
    settings.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9200");
    settings.WriteString("FDB_DATA_SETUP", "FDB_DATA_FILENAME", "server:C:\\POS\\DATA.FDB");
    settings.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE", "T");
    settings.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE_PRICE", "M_P1_S3");
    settings.WriteString("OTHER_SETUP", "EAN8_TRIM_DIGIT", "T");
    settings.WriteString("OTHER_SETUP", "EAN13_TRIM_DIGIT", "t");
    settings.WriteString("OTHER_SETUP", "AUTO_START", "T");
    settings.WriteString("OTHER_SETUP", "SEND_StoreSHELF", "1");
    settings.WriteString("OTHER_SETUP", "SEND_PluBarcode", "T");
    settings.WriteString("OTHER_SETUP", "CURRENCY_SYMBOL", "\xA3"); // a pound sign, one byte

    auto dialog = open();
    EXPECT_EQ(dialog->Edit2->text(), "9200");
    EXPECT_EQ(dialog->Edit3->text(), "server:C:\\POS\\DATA.FDB");
    EXPECT_TRUE(dialog->CheckBoxVexaXE->isChecked());
    EXPECT_EQ(dialog->ComboBoxPriceLevel->currentText(), "M_P1_S3");
    EXPECT_TRUE(dialog->CheckBox1->isChecked());
    EXPECT_FALSE(dialog->CheckBox2->isChecked());
    EXPECT_TRUE(dialog->cbAutoStart->isChecked());
    EXPECT_FALSE(dialog->cbStoreSHELF->isChecked());
    EXPECT_TRUE(dialog->cbPluBarcode->isChecked());
    EXPECT_EQ(dialog->edtCurrSymbol->text(), QString(QChar(0xA3)));
}

// The save writes the ten keys in their order, texts as they stand and switches as T or F.
TEST_F(SetupDialogTest, OkAsksThenWritesTheTenKeysInOrderAndClosesWithCancel)
{
    auto dialog = open();
    dialog->Edit3->setText("C:\\POS\\DATA.FDB");
    dialog->CheckBoxVexaXE->setChecked(true);
    dialog->ComboBoxPriceLevel->setCurrentIndex(10);
    dialog->CheckBox2->setChecked(true);
    dialog->cbStoreSHELF->setChecked(true);
    questions.answers = {Answer::Yes};

    dialog->BitBtn1->click();

    EXPECT_EQ(questions.asked, std::vector<ScriptedQuestions::Asked>({{"yes/no", SaveQuestion}}));
    EXPECT_TRUE(front.boxes.empty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(keyLines(),
              QList<QByteArray>({"TCP_PORT=9101", "FDB_DATA_FILENAME=C:\\POS\\DATA.FDB", "FDB_DATA_XE=T",
                                 "FDB_DATA_XE_PRICE=M_P1_MIN_PRICE", "EAN8_TRIM_DIGIT=F", "EAN13_TRIM_DIGIT=T",
                                 "AUTO_START=F", "SEND_StoreSHELF=T", "SEND_PluBarcode=F", "CURRENCY_SYMBOL=RM"}));
    EXPECT_EQ(settings.ReadString("FDB_DATA_SETUP", "FDB_DATA_XE", ""), "T");
    EXPECT_EQ(settings.ReadString("OTHER_SETUP", "CURRENCY_SYMBOL", ""), "RM");
}

// No (Esc answers No) writes nothing and keeps the dialog open, asked again at the next OK; the
// question's close box saves.
TEST_F(SetupDialogTest, NoOrEscAtTheQuestionWritesNothingAndItsCloseBoxSaves)
{
    auto dialog = open();
    dialog->Edit2->setText("9300");
    questions.answers = {Answer::No, Answer::No, Answer::CloseBox};
    dialog->BitBtn1->click();
    dialog->BitBtn1->click();
    EXPECT_EQ(questions.asked.size(), 2u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(QFile::exists(settings.FileName()));
    dialog->BitBtn1->click();
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_EQ(keyLines().size(), 10);
    EXPECT_EQ(settings.ReadString("TCP_SERVER_SETUP", "TCP_PORT", ""), "9300");
}

// Texts go to the file as typed, and come back as typed at the next opening.
TEST_F(SetupDialogTest, TypedTextsAreSavedUncheckedAndShownAgain)
{
    {
        auto dialog = open();
        dialog->Edit2->setText("abc");
        dialog->edtCurrSymbol->clear();
        dialog->ComboBoxPriceLevel->setCurrentText("M_MY_PRICE");
        questions.answers = {Answer::Yes};
        dialog->BitBtn1->click();
        ASSERT_FALSE(dialog->isVisible());
    }
    const QList<QByteArray> lines = keyLines();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], "TCP_PORT=abc");
    EXPECT_EQ(lines[3], "FDB_DATA_XE_PRICE=M_MY_PRICE");
    EXPECT_EQ(lines[9], "CURRENCY_SYMBOL=");
    EXPECT_EQ(settings.ReadValue("OTHER_SETUP", "CURRENCY_SYMBOL"), QByteArray("")) << "empty, not missing";

    auto again = open();
    EXPECT_EQ(again->Edit2->text(), "abc");
    EXPECT_EQ(again->edtCurrSymbol->text(), "");
    EXPECT_EQ(again->ComboBoxPriceLevel->currentText(), "M_MY_PRICE");
}

// What the operator sees is what is saved: a text with a character that "Tarvel.ini" cannot hold
// (one byte per character) is refused before the question, naming its field, and nothing is written.
TEST_F(SetupDialogTest, ATextTheFileCannotHoldIsRefusedAndNothingIsWritten)
{
    settings.WriteString("OTHER_SETUP", "CURRENCY_SYMBOL", "RM");
    const QByteArray before = settingsText();
    auto dialog = open();
    QTabBar* tabs = dialog->pgcSetup->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QTest::keyClick(dialog->edtCurrSymbol, Qt::Key_A, Qt::ControlModifier);
    QTest::sendKeyEvent(QTest::Click, dialog->edtCurrSymbol, Qt::Key_unknown, QString(QChar(0x20AC)), Qt::NoModifier);
    QTest::mouseClick(dialog->BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(front.boxes,
              std::vector<RecordingFront::Call>({{"general", "Currency Symbol: the character U+20AC cannot be "
                                                             "written to \"Tarvel.ini\", which holds one byte per "
                                                             "character. Nothing was saved."}}));
    EXPECT_EQ(settingsText(), before);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupDialogTest, OkWithARowBeingTypedAsksToSaveItFirst)
{
    auto dialog = open();
    dialog->Edit2->setText("9300");
    data.Insert();
    data.SetAddress("10.0.0.7");

    dialog->BitBtn1->click();

    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>({{"notice", "Please save your Client IP Address."}}));
    EXPECT_EQ(PageShown(*dialog), "Client Setup");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(QFile::exists(settings.FileName()));

    // Once the row is posted, OK asks.
    dialog->findChild<QAbstractButton*>("wwDBNavigator1Post")->click();
    questions.answers = {Answer::No};
    dialog->BitBtn1->click();
    EXPECT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(registry.Addresses(), QList<QByteArray>({"10.0.0.7"}));
}

TEST_F(SetupDialogTest, CancelWritesNothingAndKeepsAPostedRow)
{
    auto dialog = open();
    dialog->Edit2->setText("9300");
    dialog->findChild<QAbstractButton*>("wwDBNavigator1Insert")->click();
    data.SetAddress("192.168.1.20");
    dialog->findChild<QAbstractButton*>("wwDBNavigator1Post")->click();
    dialog->BitBtn2->click();

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(settings.FileName()));
    // On disk: a registry of its own reads the row.
    TerminalRegistry other;
    other.OpenTerminalRegistry(programFolder);
    EXPECT_TRUE(other.Locate("192.168.1.20"));
}

// "Tarvel.ini" cannot be written at all (its folder is a file; root is refused too): the general
// error report names the file, nothing is written, the dialog stays open for another try.
TEST_F(SetupDialogTest, ARefusedWriteIsReportedAndTheDialogStaysOpen)
{
    QFile blocker(dir.filePath("Settings"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IniFile unwritable(dir.filePath("Settings/Tarvel.ini"));
    TdlgSetup dialog(unwritable, data, pos, storeCode, front, questions);
    dialog.show();
    questions.answers = {Answer::Yes};

    dialog.BitBtn1->click();

    EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>(
                               {{"general", "Unable to write to " + QFile::encodeName(unwritable.FileName()) + "."}}));
    EXPECT_TRUE(dialog.isVisible());
}

#ifdef Q_OS_UNIX
// Restores the process's file size limit and SIGXFSZ when it goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t oldHandler_;
};

// A disk that fills up halfway through the save (a file size limit stands in for it, and binds
// root as well): the save is one replacement of the file, so the file keeps the old settings whole,
// none of the new keys; the general error report names the file, the dialog stays open.
TEST_F(SetupDialogTest, AWriteRefusedHalfwayLeavesTheOldFileWhole)
{
    settings.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9200");
    const QByteArray before = settingsText();
    auto dialog = open();
    dialog->Edit2->setText("9300");
    // The size of the file after four of the ten writes, from a save of the same values elsewhere.
    QTemporaryDir other;
    IniFile rehearsal(other.filePath("Tarvel.ini"));
    rehearsal.WriteString("TCP_SERVER_SETUP", "TCP_PORT", "9300");
    rehearsal.WriteString("FDB_DATA_SETUP", "FDB_DATA_FILENAME", "");
    rehearsal.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE", "F");
    rehearsal.WriteString("FDB_DATA_SETUP", "FDB_DATA_XE_PRICE", "M_PRICE");
    const qint64 fourKeys = QFileInfo(rehearsal.FileName()).size();
    questions.answers = {Answer::Yes};
    {
        // Room for a few of the ten keys: a save key by key would get partway.
        FileSizeLimit limit(fourKeys + 7);
        dialog->BitBtn1->click();
    }

    EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>(
                               {{"general", "Unable to write to " + QFile::encodeName(settings.FileName()) + "."}}));
    EXPECT_EQ(settingsText(), before);
    EXPECT_TRUE(dialog->isVisible());

    // With room again, the next OK saves all ten.
    front.clear();
    questions.answers = {Answer::Yes};
    dialog->BitBtn1->click();
    EXPECT_TRUE(front.boxes.empty());
    EXPECT_EQ(keyLines().size(), 10);
    EXPECT_EQ(settings.ReadString("TCP_SERVER_SETUP", "TCP_PORT", ""), "9300");
    EXPECT_FALSE(dialog->isVisible());
}
#endif

TEST_F(SetupDialogTest, EscDoesNotCloseTheDialog)
{
    auto dialog = open();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupDialogTest, BrowsePutsTheChosenPathInTheFieldAndCancelLeavesIt)
{
    auto dialog = open();
    dialog->Edit3->setText("old.fdb");
    QStringList filters;
    questions.choose = [&filters](QFileDialog& chooser) {
        filters = chooser.nameFilters();
        EXPECT_EQ(chooser.selectedNameFilter(), "Firebird Database (*.fdb)");
        return QString();
    };
    dialog->BitBtn3->click();
    EXPECT_EQ(dialog->Edit3->text(), "old.fdb");
    EXPECT_EQ(filters, QStringList({"Firebird Database (*.fdb)", "Interbase Database (*.gdb)"}));

    const QString picked = programFolder + "DATA.FDB";
    questions.choose = [&picked](QFileDialog&) { return picked; };
    dialog->BitBtn3->click();
    EXPECT_EQ(dialog->Edit3->text(), QDir::toNativeSeparators(picked));
    EXPECT_FALSE(QFile::exists(settings.FileName()));
}

// The window's way in: a modal dialog, destroyed once it has closed.
TEST_F(SetupDialogTest, ExecuteShowsTheDialogModallyAndDestroysItAfterwards)
{
    QPointer<TdlgSetup> seen;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        seen = TdlgSetup::Current();
        ASSERT_FALSE(seen.isNull());
        wasModal = QApplication::activeModalWidget() == seen.data();
        seen->BitBtn2->click();
    });
    TdlgSetup::Execute(settings, data, pos, storeCode, front);
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(seen.isNull()) << "the dialog outlived its closing";
    EXPECT_EQ(TdlgSetup::Current(), nullptr);
    EXPECT_FALSE(QFile::exists(settings.FileName()));
}

} // namespace
