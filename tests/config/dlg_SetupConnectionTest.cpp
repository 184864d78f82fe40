// The setup dialog's connection test against real Firebird databases.

#include "dlg_SetupFakes.h"

#include "support/FirebirdFixture.h"

#include <QLineEdit>
#include <QPushButton>

namespace tarvel {
namespace {

class SetupConnectionTest : public SetupDialogTest {
protected:
    void SetUp() override
    {
        SetupDialogTest::SetUp();
        const QByteArray made = fb.create("DATA.FDB", {"standard-schema.sql", "standard-data.sql"});
        ASSERT_TRUE(made.isEmpty()) << made.toStdString();
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
        EXPECT_EQ(front.boxes, std::vector<RecordingFront::Call>(
                                   {{"information", "FDB data connection checked.OK !\n\r" + path}}));
        EXPECT_FALSE(coDataDb.Connected()) << "the test closes what it opened";
        EXPECT_EQ(coDataDb.Params(), QList<QByteArray>({"USER NAME=SYSDBA", "PASSWORD=quillpost", "SQLDIALECT=3",
                                                        "SERVER NAME=" + path}));
    }
    dialog->BitBtn2->click();
    EXPECT_EQ(settingsText(), before) << "Cancel after a successful test leaves the file as it was";
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
    EXPECT_TRUE(front.boxes[0].text.contains("password")) << front.boxes[0].text.toStdString();
    EXPECT_FALSE(front.boxes[0].text.contains("not-the-password"));
}

} // namespace
} // namespace tarvel
