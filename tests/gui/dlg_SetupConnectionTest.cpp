// The setup dialog's connection test against real Firebird databases.

#include "config/Settings.h"
#include "dlg_SetupFixture.h"
#include "support/FirebirdFixture.h"
#include "support/FreezingRelay.h"
#include "support/Tripwire.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace tarvel {
namespace {

using Answer = QuestionBoxes::Answer;

class SetupConnectionTest : public SetupDialogTest {
protected:
    void SetUp() override
    {
        SetupDialogTest::SetUp();
        make("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
        make("POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
    }
    void make(const QString& file, const QStringList& scripts)
    {
        const QByteArray made = fb.create(file, scripts);
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
    }
    // Types the path into the data file field and clicks Test; the one box it shows.
    RecordingFront::Call test(TdlgSetup& dialog, const QByteArray& path)
    {
        front.clear();
        QTest::keyClick(dialog.Edit3, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dialog.Edit3, QString::fromLocal8Bit(path));
        QTest::mouseClick(dialog.BitBtn4, Qt::LeftButton);
        EXPECT_FALSE(pos.coDataDb().Connected() || pos.coStoreDb().Connected()) << "the test closes what it opened";
        EXPECT_EQ(front.boxes.size(), 1u);
        return front.boxes.empty() ? RecordingFront::Call{} : front.boxes[0];
    }
    FirebirdFixture fb;
};

TEST_F(SetupConnectionTest, ASuccessfulTestSaysSoClosesAndSavesNothing)
{
    settings.WriteString("FDB_DATA_SETUP", "FDB_DATA_FILENAME", "C:\\POS\\OLD.FDB");
    const QByteArray before = settingsText();
    auto dialog = open();
    for (const QByteArray& path : {fb.path("DATA.FDB"), fb.serverPath("DATA.FDB")}) {
        front.clear();
        dialog->Edit3->setText(QString::fromLocal8Bit(path));
        dialog->BitBtn4->click();
        EXPECT_EQ(front.boxes,
                  std::vector<RecordingFront::Call>({{"information", "FDB data connection checked.OK !\n\r" + path}}));
        EXPECT_FALSE(coDataDb.Connected()) << "the test closes what it opened";
        EXPECT_EQ(coDataDb.Params(),
                  QList<QByteArray>({"USER NAME=SYSDBA", "PASSWORD=quillpost", "SQLDIALECT=3", "SERVER NAME=" + path}));
    }
    dialog->BitBtn2->click();
    EXPECT_EQ(settingsText(), before) << "Cancel after a successful test leaves the file as it was";
}

// Test means Start will work: in the standard layout it opens "POSSYS.FDB" beside the data file and
// reads the store's price level too, and says which of them failed.
TEST_F(SetupConnectionTest, TestOpensWhatStartOpensAndSaysWhichFailed)
{
    make("NoStore/DATA.FDB", {"standard-schema.sql"});
    make("NoLevel/DATA.FDB", {"standard-schema.sql"});
    make("NoLevel/POSSYS.FDB", {"standard-schema.sql"}); // no table Mas_Store
    auto dialog = open();
    dialog->pgcSetup->setCurrentWidget(dialog->TabSheet2);

    RecordingFront::Call box = test(*dialog, fb.path("NoStore/DATA.FDB"));
    EXPECT_EQ(box.kind, "error");
    EXPECT_TRUE(box.text.startsWith("Cannot open the store file " + fb.path("NoStore/POSSYS.FDB") + ":\n"))
        << box.text.constData();
    box = test(*dialog, fb.path("NoLevel/DATA.FDB"));
    EXPECT_EQ(box.kind, "error");
    EXPECT_TRUE(box.text.startsWith("Cannot read the price level of store S01 from " + fb.path("NoLevel/POSSYS.FDB")))
        << box.text.constData();

    // The extended layout needs no store file, as at Start.
    make("NoStoreXE/DATA.FDB", {"extended-schema.sql"});
    QTest::mouseClick(dialog->CheckBoxVexaXE, Qt::LeftButton);
    ASSERT_TRUE(dialog->CheckBoxVexaXE->isChecked());
    EXPECT_EQ(test(*dialog, fb.path("NoStoreXE/DATA.FDB")).kind, "information");
    EXPECT_TRUE(front.lines.empty()) << "the test is no Start";
}

// Test means the scans will be answered too: each query of the layout shown runs once, and a setting
// the database does not fit is named in the "Error" box with the engine's words.
TEST_F(SetupConnectionTest, TestRunsTheQueriesOfAScanAndNamesTheSettingTheDatabaseRefuses)
{
    make("XE/DATA.FDB", {"extended-schema.sql", "extended-data.sql"});
    auto dialog = open();
    dialog->pgcSetup->setCurrentWidget(dialog->TabSheet2);
    QTest::mouseClick(dialog->CheckBoxVexaXE, Qt::LeftButton);
    ASSERT_TRUE(dialog->CheckBoxVexaXE->isChecked());

    RecordingFront::Call box = test(*dialog, fb.path("DATA.FDB"));
    EXPECT_EQ(box.kind, "error");
    EXPECT_TRUE(box.text.startsWith("the barcode query of the Vexa XE layout (FDB_DATA_XE=T in Tarvel.ini) is refused, "
                                    "so no scan would get a reply:\nDynamic SQL Error\n"))
        << box.text.constData();
    EXPECT_TRUE(box.text.contains("\n-M_STOCK_ID")) << box.text.constData();

    dialog->ComboBoxPriceLevel->setCurrentText("M_P1_X");
    box = test(*dialog, fb.path("XE/DATA.FDB"));
    EXPECT_EQ(box.kind, "error");
    EXPECT_TRUE(box.text.startsWith("the item query of the Vexa XE layout at price column M_P1_X (FDB_DATA_XE_PRICE in "
                                    "Tarvel.ini) is refused"))
        << box.text.constData();
    dialog->ComboBoxPriceLevel->setCurrentText("M_P1_S9");
    EXPECT_EQ(test(*dialog, fb.path("XE/DATA.FDB")).kind, "information");
}

// A data file chosen with Browse in a folder whose name is not ASCII: Test opens it, and OK saves the
// path in the file-name encoding, the bytes with which Start then opens it too.
TEST_F(SetupConnectionTest, ANonAsciiPathChosenWithBrowseWorksForTestAndStart)
{
    const QString folder = QString::fromUtf8("D\u00e4ten");
    make(folder + "/DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
    make(folder + "/POSSYS.FDB", {"possys-schema.sql", "possys-data.sql"});
    const QString picked = fb.folder() + '/' + folder + "/DATA.FDB";
    auto dialog = open();
    dialog->pgcSetup->setCurrentWidget(dialog->TabSheet2);
    questions.choose = [&picked](QFileDialog&) { return picked; };
    QTest::mouseClick(dialog->BitBtn3, Qt::LeftButton);
    QTest::mouseClick(dialog->BitBtn4, Qt::LeftButton);
    EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>(
                               {{"information", "FDB data connection checked.OK !\n\r" + QFile::encodeName(picked)}}));

    questions.answers = {Answer::Yes};
    QTest::mouseClick(dialog->BitBtn1, Qt::LeftButton);
    ASSERT_FALSE(dialog->isVisible());
    EXPECT_TRUE(settingsText().contains("FDB_DATA_FILENAME=" + QFile::encodeName(picked) + "\r\n"));
    PosConnections start;
    EXPECT_EQ(start.OpenPosConnections(ReadStartSettings(settings).DataFileName, false, "M_PRICE", storeCode), "P1");
}

TEST_F(SetupConnectionTest, EngineErrorsGoToTheErrorBox)
{
    auto dialog = open();
    dialog->Edit3->setText(QString::fromLocal8Bit(fb.path("NOSUCH.FDB")));
    dialog->BitBtn4->click();
    ASSERT_EQ(front.boxes.size(), 1u);
    EXPECT_EQ(front.boxes[0].kind, "error");
    EXPECT_TRUE(front.boxes[0].text.contains("NOSUCH.FDB")) << front.boxes[0].text.toStdString();
    EXPECT_FALSE(coDataDb.Connected());
    EXPECT_TRUE(dialog->isVisible());

    // The store's own password from "Tarvel.ini" is what the server checks.
    const QByteArray problem = FirebirdFixture::serverProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    settings.WriteString("FDB_DATA_SETUP", "FDB_PASSWORD", "not-the-password");
    front.clear();
    dialog->Edit3->setText(QString::fromLocal8Bit(fb.serverPath("DATA.FDB")));
    dialog->BitBtn4->click();
    ASSERT_EQ(front.boxes.size(), 1u);
    EXPECT_EQ(front.boxes[0].kind, "error");
    EXPECT_TRUE(front.boxes[0].text.endsWith("\nThe user tried is SYSDBA, the fixed default user, with the password "
                                             "of FDB_PASSWORD. FDB_USER and FDB_PASSWORD in [FDB_DATA_SETUP] of "
                                             "Tarvel.ini set the store's own."))
        << front.boxes[0].text.toStdString();
    EXPECT_FALSE(front.boxes[0].text.contains("not-the-password"));

    // A server that does not answer holds the dialog no longer than FDB_QUERY_TIMEOUT.
    FreezingRelay relay;
    relay.freeze();
    settings.WriteString("FDB_DATA_SETUP", "FDB_QUERY_TIMEOUT", "1");
    QElapsedTimer took;
    took.start();
    const QByteArray frozen = relay.serverPath(fb.path("DATA.FDB"));
    EXPECT_EQ(test(*dialog, frozen).text,
              "Cannot open the data file " + frozen + ":\nThe POS database did not answer within 1 s");
    EXPECT_LT(took.elapsed(), 20000); // bounded, on a busy machine too; the text names the deadline

    // A user name the server would abort on is refused before anything is sent.
    Tripwire server;
    settings.WriteString("FDB_DATA_SETUP", "FDB_USER", QByteArray(32, 'U'));
    EXPECT_EQ(test(*dialog, server.serverPath()).kind, "error");
    EXPECT_TRUE(front.boxes[0].text.contains("(FDB_USER in [FDB_DATA_SETUP] of Tarvel.ini) is 32 bytes long"));
    EXPECT_EQ(server.connections(), 0);
}

} // namespace
} // namespace tarvel
