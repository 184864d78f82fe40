// The status bar shows its texts whole: each panel as wide as its text needs, the price level at
// least as wide as the chooser's longest column in the Vexa XE layout, the scan counter in the room
// the others leave, and a warning that the bar cuts shown whole above the bar. Each state is saved as
// a picture in the build's test-output/status-bar folder.

#include "frm_TarvelFixture.h"
#include "gui/frm_Tarvel.h"
#include "status/ScanStatistics.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>

#include <iostream>

using namespace tarvel;

namespace {

int TextWidth(const QLabel* label) { return label->fontMetrics().horizontalAdvance(label->text()); }

class TarvelStatusBarTest : public TarvelWindowTest {
protected:
    // Scans until today's count has `count` digits, each answered.
    void scanUpTo(qint64 count)
    {
        TerminalClient terminal(port);
        for (qint64 scans = window->Service().Statistics().countsToday().scans(); scans < count; ++scans)
            ASSERT_EQ(terminal.scan("0000000000000"), NotFoundFrame()) << "scan " << scans;
        // The panel follows the counts once a second.
        ASSERT_TRUE(waitUntil([&] { return window->ScanPanel->text().startsWith(QString::number(count) + " scans"); }))
            << window->ScanPanel->text().toStdString();
    }

    // What every state keeps: the panels in order inside the bar, none over the next, each showing its
    // text whole but the remark, which when cut shows whole above the bar, clear of the log.
    void expectEveryTextWhole(const char* state)
    {
        SCOPED_TRACE(state);
        TfrmTarvel& w = *window;
        QTest::qWait(50); // the bar lays its panels out again on the next turn of the event loop
        const QList<QLabel*> order{w.StoreCode, w.StoreName,         w.ActivePriceLevel,
                                   w.ScanPanel, w.FoldedErrorsPanel, w.RemarkPanel};
        int right = 0;
        for (QLabel* panel : order) {
            if (!panel->isVisible())
                continue;
            const std::string name = panel->objectName().toStdString();
            EXPECT_GE(panel->x(), right) << name << " overlaps the panel before it";
            right = panel->x() + panel->width();
            EXPECT_LE(right, w.StatusBar1->width()) << name;
            if (panel != w.RemarkPanel) {
                EXPECT_GE(panel->contentsRect().width(), TextWidth(panel))
                    << name << ": " << panel->text().toStdString();
            }
        }
        EXPECT_EQ(w.StoreCode->width(), 75);
        EXPECT_EQ(w.StoreName->width(), 250);
        if (w.RemarkPanel->isVisible() && w.RemarkPanel->elided()) {
            ASSERT_TRUE(w.WarningLine->isVisible()) << "a cut warning shows whole elsewhere";
            EXPECT_EQ(w.WarningLine->text(), w.RemarkPanel->text());
            EXPECT_LE(w.WarningLine->heightForWidth(w.WarningLine->width()), w.WarningLine->height())
                << "the whole text fits the line";
            EXPECT_EQ(w.WarningLine->geometry().bottom() + 1, w.StatusBar1->y()) << "right above the bar";
            EXPECT_GE(w.WarningLine->y(), w.MemoLog->geometry().bottom() + 1) << "clear of the log";
            EXPECT_GE(w.WarningLine->x(), 0);
            EXPECT_LE(w.WarningLine->geometry().right(), w.width() - 1);
        } else {
            EXPECT_FALSE(w.WarningLine->isVisible());
            EXPECT_EQ(w.MemoLog->height(), 344);
        }
        save(state);
    }

    void save(const char* state)
    {
        const QDir out(QStringLiteral(TARVEL_BIN_DIR "/../test-output/status-bar"));
        ASSERT_TRUE(out.mkpath("."));
        const QString file = out.filePath(QString::fromLatin1(state) + ".png");
        ASSERT_TRUE(window->grab().save(file));
        std::cout << "[ picture  ] " << file.toStdString() << "\n";
    }
};

// The longest column of the chooser whole, and the price level's panel keeping its width when the
// scan counter grows to four digits and when a shorter column (S3 and S8 alike) is in force.
TEST_F(TarvelStatusBarTest, ThePriceLevelShowsWholeBesideAGrowingScanCounter)
{
    FirebirdFixture extendedData;
    const QByteArray problem = extendedData.create("DATA.FDB", {"extended-schema.sql", "extended-data.sql"});
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    const QByteArray dataFile = extendedData.path("DATA.FDB");
    folder.writeSettings(ProgramFolder::settingsFor(dataFile, port, {}, "M_P1_MIN_PRICE"));
    TfrmTarvel& w = open();
    ASSERT_TRUE(startServingLoopback());
    EXPECT_EQ(w.ActivePriceLevel->text(), "M_P1_MIN_PRICE");
    expectEveryTextWhole("price-level-longest");
    const int width = w.ActivePriceLevel->width();

    click("BitBtn2");
    folder.writeSettings(ProgramFolder::settingsFor(dataFile, port, {}, "M_P1_S3"));
    ASSERT_TRUE(startServingLoopback());
    scanUpTo(1000);
    EXPECT_EQ(w.ActivePriceLevel->text(), "M_P1_S3");
    EXPECT_EQ(w.ActivePriceLevel->width(), width) << "the scan counter took the price level's room";
    EXPECT_TRUE(w.ScanPanel->isVisible());
    EXPECT_TRUE(w.ScanPanel->text().startsWith("1000 scans")) << w.ScanPanel->text().toStdString();
    expectEveryTextWhole("price-level-beside-1000-scans");
    click("BitBtn2");
}

// The warning that matters most, a store that POSSYS.FDB does not know, cut in the bar and whole above
// it; also with failures counted in the bar, and a warning longer than the window is wide.
TEST_F(TarvelStatusBarTest, AWarningTheBarCutsShowsWholeAboveIt)
{
    folder.writeStore("S99", "QUILLPOST MART SHAH ALAM");
    TfrmTarvel& w = open();
    ASSERT_TRUE(startServingLoopback());
    const QString warning = "store S99 is not in POSSYS.FDB: price level PRCERR, every price reads 0.00";
    EXPECT_EQ(w.RemarkPanel->text(), warning);
    EXPECT_TRUE(w.RemarkPanel->isVisible());
    EXPECT_TRUE(w.RemarkPanel->elided());
    EXPECT_EQ(w.WarningLine->text(), warning);
    expectEveryTextWhole("unknown-store");
    EXPECT_EQ(w.MemoLog->height(), 344) << "one line fits between the log and the bar";

    w.showBackgroundErrorBox("Unable to complete network request to host \"pos-server\".");
    w.showBackgroundErrorBox("Unable to complete network request to host \"pos-server\".");
    EXPECT_TRUE(w.FoldedErrorsPanel->isVisible());
    EXPECT_EQ(w.FoldedErrorsPanel->text(), "2 errors");
    expectEveryTextWhole("unknown-store-and-failures");
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_TRUE(boxes.seen[0].text.endsWith("2 errors came at once; this is the last of them."))
        << boxes.seen[0].text.toStdString();
    EXPECT_FALSE(w.FoldedErrorsPanel->isVisible());
    click("BitBtn2");

    // Two rows: the log gives up the second, and keeps its newest line in view.
    const QByteArray longTimeout(150, '9');
    folder.writeSettings(
        ProgramFolder::settingsFor(folder.dataPath(), port)
            .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT=" + longTimeout + "s\r\n"));
    click("BitBtn1");
    ASSERT_TRUE(w.RemarkPanel->text().startsWith("FDB_QUERY_TIMEOUT \"" + longTimeout))
        << w.RemarkPanel->text().toStdString();
    expectEveryTextWhole("long-warning");
    EXPECT_GT(w.WarningLine->height(), w.WarningLine->fontMetrics().height() * 3 / 2);
    EXPECT_LT(w.MemoLog->height(), 344);
    const QScrollBar* bar = w.MemoLog->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    click("BitBtn2");
}

} // namespace
