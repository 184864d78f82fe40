// Renders each page of the setup dialog to PNG for the documentation, when TARVEL_SCREENSHOT_DIR names
// a folder: setup-server.png, setup-fdb.png, setup-client.png, setup-other.png. Does nothing otherwise.

#include "dlg_SetupFixture.h"
#include "gui/dlg_Setup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

using namespace tarvel;

namespace {

TEST_F(SetupDialogTest, RendersEachPageWhenAskedTo)
{
    const QString folder = qEnvironmentVariable("TARVEL_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "TARVEL_SCREENSHOT_DIR is not set";
    ASSERT_TRUE(QDir().mkpath(folder));

    settings.WriteString("FDB_DATA_SETUP", "FDB_DATA_FILENAME", "localhost:C:\\POS\\DATA.FDB");
    settings.WriteString("OTHER_SETUP", "AUTO_START", "T");
    for (const QByteArray address : {"192.168.1.21", "192.168.1.22", "192.168.1.35"}) {
        data.Insert();
        data.SetAddress(address);
        data.Post();
    }
    auto dialog = open();
    const char* const files[4] = {"setup-server.png", "setup-fdb.png", "setup-client.png", "setup-other.png"};
    for (int page = 0; page < 4; ++page) {
        dialog->pgcSetup->setCurrentIndex(page);
        QTest::qWait(20);
        const QString path = QDir(folder).filePath(files[page]);
        ASSERT_TRUE(dialog->grab().save(path)) << path.toStdString();
        EXPECT_EQ(QPixmap(path).size(), QSize(792, 456));
    }
}

} // namespace
