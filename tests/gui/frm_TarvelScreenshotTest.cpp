// Renders the operator window to PNG for the documentation, when TARVEL_SCREENSHOT_DIR names a folder:
// window-stopped.png, window-running.png (with terminal traffic in the log), window-warning.png (a
// store the POS database does not know) and window-error.png (a failed Start with its "Error" box
// open). Does nothing otherwise.

#include "frm_TarvelFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

using namespace tarvel;

namespace {

class TarvelWindowScreenshotTest : public TarvelWindowTest {
protected:
    void SetUp() override
    {
        shots = qEnvironmentVariable("TARVEL_SCREENSHOT_DIR");
        if (shots.isEmpty())
            GTEST_SKIP() << "TARVEL_SCREENSHOT_DIR is not set";
        ASSERT_TRUE(QDir().mkpath(shots));
        TarvelWindowTest::SetUp();
    }

    TfrmTarvel& openForTheRecord()
    {
        return open(true, {[] { return QByteArray("STORE-PC01"); }, [] { return QList<QByteArray>{"192.168.1.20"}; }});
    }

    void save(const QPixmap& picture, const char* name)
    {
        const QString path = QDir(shots).filePath(QString::fromLatin1(name));
        ASSERT_TRUE(picture.save(path)) << path.toStdString();
        EXPECT_EQ(QPixmap(path).size(), QSize(562, 452)) << name;
    }

    QString shots;
};

TEST_F(TarvelWindowScreenshotTest, Stopped)
{
    TfrmTarvel& w = openForTheRecord();
    save(w.grab(), "window-stopped.png");
}

TEST_F(TarvelWindowScreenshotTest, RunningWithTerminalTraffic)
{
    TfrmTarvel& w = openForTheRecord();
    ASSERT_TRUE(startServingLoopback());

    TerminalClient terminal(port);
    for (const QByteArray code : {"9556001000017", "9556001000024", "95560018", "0000000000000"})
        EXPECT_FALSE(terminal.scan(code).isEmpty()) << code.constData();

    // A second terminal that is not in the registry, where the host lets one bind another loopback address.
    TerminalClient(port, "127.0.0.2").scan("9556001000031");
    terminal.socket().disconnectFromHost();
    waitUntil([&] { return logLines().back().startsWith("- Client IP disconnected"); });
    // The scan panel catches up once a second.
    waitUntil([&] { return !w.ScanPanel->text().startsWith("0 scans"); });
    save(w.grab(), "window-running.png");
}

// A store that POSSYS.FDB does not know: the warning cut in the status bar and whole above it.
TEST_F(TarvelWindowScreenshotTest, WarningAboveTheStatusBar)
{
    folder.writeStore("S99", "QUILLPOST MART SHAH ALAM");
    TfrmTarvel& w = openForTheRecord();
    ASSERT_TRUE(startServingLoopback());
    QTest::qWait(50); // the status bar lays its panels out on the next turn
    ASSERT_TRUE(w.WarningLine->isVisible());
    save(w.grab(), "window-warning.png");
}

TEST_F(TarvelWindowScreenshotTest, ErrorBoxOverTheWindow)
{
    folder.writeSettings(ProgramFolder::settingsFor("/srv/pos/DATA.FDB", port));
    TfrmTarvel& w = openForTheRecord();
    QPixmap picture;
    boxes.whileOpen = [&](QWidget* box) {
        QTest::qWait(20);
        // The offscreen platform draws no title bars: the box gets a plain one of its own, and is
        // painted over the window's middle as it shows on a desktop.
        const QPixmap content = box->grab();
        const int bar = 22;
        QPixmap framed(content.width() + 2, content.height() + bar + 1);
        framed.fill(QColor(0x3c, 0x4e, 0x6e));
        QPainter frame(&framed);
        frame.drawPixmap(1, bar, content);
        frame.setPen(Qt::white);
        QFont title = w.font();
        title.setBold(true);
        frame.setFont(title);
        frame.drawText(QRect(8, 0, framed.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, box->windowTitle());
        frame.end();

        picture = w.grab();
        QPainter over(&picture);
        over.drawPixmap((picture.width() - framed.width()) / 2, (picture.height() - framed.height()) / 2, framed);
    };
    click("BitBtn1");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Error");
    ASSERT_FALSE(picture.isNull());
    save(picture, "window-error.png");
}

} // namespace
