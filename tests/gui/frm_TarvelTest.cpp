// The operator window under the offscreen platform: its controls, the buttons clicked by name over a
// real embedded POS database and real sockets, the auto-start timer in real time, the boxes.

#include "gui/frm_Tarvel.h"

#include "base/OperatorLog.h"
#include "data/Database.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "frm_TarvelFixture.h"
#include "support/FreezingRelay.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTimer>

using namespace tarvel;

namespace {

template <typename W>
W* Child(QWidget& window, const char* name)
{
    return window.findChild<W*>(QString::fromLatin1(name));
}

TEST_F(TarvelWindowTest, HasEveryControlByNameWhereTheLayoutPutsIt)
{
    TfrmTarvel& w = open();
    EXPECT_EQ(w.windowTitle(), "");
    EXPECT_EQ(w.size(), QSize(562, 452));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed size";
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QRect screen = w.screen()->availableGeometry();
    EXPECT_LE((w.frameGeometry().center() - screen.center()).manhattanLength(), 1) << "centred on the screen";
    EXPECT_EQ(QFontInfo(w.font()).pixelSize(), 11);

    auto* bevel = Child<QFrame>(w, "Bevel1");
    auto* image = Child<QLabel>(w, "Image1");
    ASSERT_NE(bevel, nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(bevel->size(), QSize(100, 85));
    EXPECT_EQ(image->size(), QSize(96, 80));
    EXPECT_TRUE(bevel->geometry().contains(image->mapTo(&w, QPoint(0, 0))));
    const QImage logo = image->pixmap().toImage();
    EXPECT_EQ(logo.size(), QSize(96, 80));
    QSet<QRgb> colours;
    for (int y = 0; y < logo.height(); y += 4)
        for (int x = 0; x < logo.width(); x += 4)
            colours.insert(logo.pixel(x, y));
    EXPECT_GE(colours.size(), 4) << "a picture, not a blank";

    auto* title = Child<QLabel>(w, "Label1");
    auto* subtitle = Child<QLabel>(w, "Label2");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(subtitle, nullptr);
    EXPECT_FALSE(title->text().isEmpty());
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pixelSize(), 19);
    EXPECT_TRUE(QStringList({"Calibri", "Carlito"}).contains(QFontInfo(title->font()).family()))
        << QFontInfo(title->font()).family().toStdString();
    // The one version of the build, as tarvel --version and the package give it.
    EXPECT_EQ(subtitle->text(), "Price Checker Module v" TARVEL_VERSION);
    EXPECT_EQ(subtitle->font().pixelSize(), 12);
    EXPECT_GE(title->x(), bevel->geometry().right()) << "right of the picture";
    EXPECT_GT(subtitle->y(), title->y()) << "under the title";

    const std::tuple<const char*, const char*, QSize> buttons[] = {{"BitBtn1", "Start", QSize(100, 56)},
                                                                   {"BitBtn2", "Stop", QSize(100, 25)},
                                                                   {"BitBtn3", "Setup", QSize(100, 25)},
                                                                   {"BitBtn4", "Close", QSize(100, 25)}};
    int below = bevel->geometry().bottom();
    for (const auto& [name, caption, size] : buttons) {
        auto* button = Child<QPushButton>(w, name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), caption);
        EXPECT_EQ(button->size(), size) << name;
        EXPECT_GT(button->y(), below) << name << " is under the one before it";
        below = button->geometry().bottom();
    }
    EXPECT_TRUE(w.BitBtn1->isEnabled());
    EXPECT_FALSE(w.BitBtn2->isEnabled());
    EXPECT_TRUE(w.BitBtn3->isEnabled());
    EXPECT_TRUE(w.BitBtn4->isEnabled());

    auto* memo = Child<QPlainTextEdit>(w, "MemoLog");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->size(), QSize(426, 344));
    EXPECT_GT(memo->x(), w.BitBtn1->geometry().right()) << "right of the buttons";
    EXPECT_GT(memo->y(), subtitle->geometry().bottom()) << "under the labels";
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_TRUE(memo->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->maximumBlockCount(), 10000);
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(Qt::blue));
    EXPECT_EQ(QFontInfo(memo->font()).pixelSize(), 11);
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch()) << QFontInfo(memo->font()).family().toStdString();

    auto* panel = Child<QFrame>(w, "Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->size(), QSize(185, 48));
    EXPECT_EQ(panel->geometry().right(), w.width() - 1 - 8) << "top right";
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(255, 255, 128));
    EXPECT_TRUE(panel->autoFillBackground());
    auto* autoStart = Child<QCheckBox>(w, "cbAutoStart");
    auto* vexa = Child<QCheckBox>(w, "CheckBoxVexaXE");
    auto* column = Child<QComboBox>(w, "ComboBoxPriceLevel");
    ASSERT_NE(autoStart, nullptr);
    ASSERT_NE(vexa, nullptr);
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(autoStart->parentWidget(), panel);
    EXPECT_EQ(vexa->parentWidget(), panel);
    EXPECT_EQ(column->parentWidget(), panel);
    EXPECT_EQ(autoStart->text(), "Auto Start");
    EXPECT_EQ(vexa->text(), "Vexa XE");
    EXPECT_GT(vexa->y(), autoStart->y());
    EXPECT_GT(column->x(), vexa->x());
    EXPECT_EQ(column->width(), 97);
    EXPECT_EQ(Items(column), QStringList({"M_PRICE", "M_P1_S1", "M_P1_S2", "M_P1_S3", "M_P1_S4", "M_P1_S5", "M_P1_S6",
                                          "M_P1_S7", "M_P1_S8", "M_P1_S9", "M_P1_MIN_PRICE"}));

    auto* status = Child<QStatusBar>(w, "StatusBar1");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->geometry().bottom(), w.height() - 1) << "on the bottom edge";
    EXPECT_EQ(status->width(), w.width());
    // The last panel takes the rest of the bar.
    const std::pair<const char*, int> panels[] = {{"StoreCode", 75}, {"StoreName", 250}, {"ActivePriceLevel", 50}};
    int left = -1;
    for (const auto& [name, width] : panels) {
        auto* label = Child<QLabel>(w, name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->parentWidget(), status);
        if (label == w.ActivePriceLevel)
            EXPECT_GE(label->width(), width);
        else
            EXPECT_EQ(label->width(), width) << name;
        EXPECT_GT(label->x(), left) << name << " follows the panel before it";
        left = label->x();
    }
}

TEST_F(TarvelWindowTest, StartAndStopClickedByName)
{
    TfrmTarvel& w = open();
    EXPECT_TRUE(logLines().empty()) << "the log is empty when the window is first shown";
    EXPECT_EQ(w.StoreCode->text(), "S01");
    EXPECT_EQ(w.StoreName->text(), "QUILLPOST MART KLANG");
    EXPECT_EQ(w.ActivePriceLevel->text(), "") << "empty until the first Start";
    EXPECT_FALSE(w.CheckBoxVexaXE->isVisible());
    EXPECT_FALSE(w.ComboBoxPriceLevel->isVisible());
    EXPECT_FALSE(w.cbAutoStart->isChecked());

    click("BitBtn2");
    EXPECT_TRUE(logLines().empty()) << "Stop is disabled while stopped";

    click("BitBtn1");
    EXPECT_EQ(logLines(), startLines());
    EXPECT_FALSE(w.BitBtn1->isEnabled());
    EXPECT_TRUE(w.BitBtn2->isEnabled());
    EXPECT_EQ(w.ActivePriceLevel->text(), "P1") << "store S01's default level";
    EXPECT_EQ(w.StoreCode->text(), "S01");
    EXPECT_FALSE(w.CheckBoxVexaXE->isVisible());
    EXPECT_EQ(w.Service().ListeningPort(), port);

    // A terminal on line; Stop drops it without a disconnect line.
    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    const QByteArray connected = FormatLogLabel("+ Client IP connected 127.0.0.1");
    ASSERT_TRUE(waitUntil([&] { return logLines().size() == startLines().size() + 1; }));
    EXPECT_EQ(logLines().back(), connected);

    click("BitBtn2");
    std::vector<QByteArray> expected = startLines();
    expected.push_back(connected);
    for (const QByteArray& line : stopLines())
        expected.push_back(line);
    EXPECT_TRUE(waitUntil([&] { return terminal.state() == QAbstractSocket::UnconnectedState; }))
        << "the terminal is dropped";
    QTest::qWait(50);
    EXPECT_EQ(logLines(), expected);
    EXPECT_TRUE(w.BitBtn1->isEnabled());
    EXPECT_FALSE(w.BitBtn2->isEnabled());
    EXPECT_EQ(w.ActivePriceLevel->text(), "P1") << "the level stays shown after Stop";
    EXPECT_TRUE(boxes.seen.empty());

    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(late.waitForConnected(1000)) << "nobody listens while stopped";
}

TEST_F(TarvelWindowTest, ScansShowInTheLogAndGetTheirFrames)
{
    open();
    ASSERT_TRUE(startServingLoopback());

    TerminalClient terminal(port);
    const QByteArray milo = terminal.scan("9556001000017");
    EXPECT_TRUE(milo.contains("MILO 400G")) << milo.toStdString();
    EXPECT_TRUE(milo.contains("RM 14.90")) << milo.toStdString();
    const QByteArray unknown = terminal.scan("0000000000000");
    EXPECT_TRUE(unknown.contains("Item not found")) << unknown.toStdString();

    std::vector<QByteArray> lines = logLines();
    ASSERT_GE(lines.size(), 5u);
    lines.erase(lines.begin(), lines.begin() + qsizetype(startLines().size()));
    EXPECT_EQ(lines, std::vector<QByteArray>({FormatLogLabel("+ Client IP connected 127.0.0.1"),
                                              LogLineWithValue("> [RECV] 9556001000017", "127.0.0.1"),
                                              LogLineWithValue("< [SENT] 9556001000017", "127.0.0.1"),
                                              LogLineWithValue("> [RECV] 0000000000000", "127.0.0.1"),
                                              LogLineWithValue("< [Not Found] ", "0000000000000")}));
    EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(TarvelWindowTest, ThePanelShowsTheSwitchAndColumnOnlyWhenTheSwitchIsOn)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, {}, "M_P1_S3"));
    TfrmTarvel& w = open();
    EXPECT_TRUE(w.CheckBoxVexaXE->isVisible());
    EXPECT_TRUE(w.CheckBoxVexaXE->isChecked());
    EXPECT_TRUE(w.ComboBoxPriceLevel->isVisible());
    EXPECT_EQ(w.ComboBoxPriceLevel->currentText(), "M_P1_S3");

    click("BitBtn1");
    ASSERT_TRUE(w.Service().Running());
    EXPECT_EQ(w.ActivePriceLevel->text(), "M_P1_S3") << "the extended layout's level is the price column";
    click("BitBtn2");

    // The setup dialog saved the standard layout meanwhile: the next Start hides both.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
    EXPECT_TRUE(w.CheckBoxVexaXE->isVisible()) << "nothing is read afresh before Start";
    click("BitBtn1");
    ASSERT_TRUE(w.Service().Running());
    EXPECT_FALSE(w.CheckBoxVexaXE->isVisible());
    EXPECT_FALSE(w.CheckBoxVexaXE->isChecked());
    EXPECT_FALSE(w.ComboBoxPriceLevel->isVisible());
    EXPECT_EQ(w.ComboBoxPriceLevel->currentText(), "M_PRICE");
    EXPECT_EQ(w.ActivePriceLevel->text(), "P1");

    // And back on, with a column that is none of the list's items.
    click("BitBtn2");
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, {}, "M_COST"));
    click("BitBtn1");
    EXPECT_TRUE(w.CheckBoxVexaXE->isVisible());
    EXPECT_TRUE(w.ComboBoxPriceLevel->isVisible());
    EXPECT_EQ(w.ComboBoxPriceLevel->currentText(), "M_COST");
    EXPECT_EQ(w.ActivePriceLevel->text(), "M_COST");
}

// While running the yellow panel stays readable: its controls are not disabled (which greys their
// texts) but take no mouse and no keys; the price column shows its start, the status bar the whole
// price level.
TEST_F(TarvelWindowTest, ThePanelIsReadableWhileRunningAndTakesNoInput)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, {}, "M_P1_MIN_PRICE"));
    TfrmTarvel& w = open();
    click("BitBtn1");
    ASSERT_TRUE(w.Service().Running());

    EXPECT_TRUE(w.cbAutoStart->isEnabled() && w.CheckBoxVexaXE->isEnabled() && w.ComboBoxPriceLevel->isEnabled());
    QTest::mouseClick(w.cbAutoStart, Qt::LeftButton);
    QTest::mouseClick(w.CheckBoxVexaXE, Qt::LeftButton);
    QTest::keyClick(w.CheckBoxVexaXE, Qt::Key_Space);
    QTest::keyClick(w.ComboBoxPriceLevel, Qt::Key_Up);
    QTest::keyClicks(w.ComboBoxPriceLevel->lineEdit(), "X");
    EXPECT_FALSE(w.cbAutoStart->isChecked());
    EXPECT_TRUE(w.CheckBoxVexaXE->isChecked());
    EXPECT_EQ(w.ComboBoxPriceLevel->currentText(), "M_P1_MIN_PRICE");
    EXPECT_EQ(w.ComboBoxPriceLevel->lineEdit()->cursorPosition(), 0) << "scrolled to the end of the name";

    EXPECT_EQ(w.ActivePriceLevel->text(), "M_P1_MIN_PRICE");
    EXPECT_GE(w.ActivePriceLevel->contentsRect().width(),
              w.ActivePriceLevel->fontMetrics().horizontalAdvance(w.ActivePriceLevel->text()));
}

TEST_F(TarvelWindowTest, SetupAndCloseAreRefusedWhileRunning)
{
    TfrmTarvel& w = open();
    click("BitBtn1");
    ASSERT_TRUE(w.Service().Running());
    const QByteArray setupRefused = FormatLogLabel("- Setup [ERROR] ") + kStatusDenied;
    const QByteArray closeRefused = FormatLogLabel("- FormClose [ERROR] ") + kStatusDenied;

    click("BitBtn3");
    QTest::qWait(100);
    EXPECT_TRUE(boxes.seen.empty()) << "no dialog and no box";
    EXPECT_EQ(logLines().back(), setupRefused);

    click("BitBtn4");
    QTest::qWait(50);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(logLines().back(), closeRefused);
    // The title bar's close box, the system menu and Alt+F4 come as the same close request.
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.Service().Running());
    EXPECT_TRUE(boxes.seen.empty());

    std::vector<QByteArray> expected = startLines();
    expected.insert(expected.end(), {setupRefused, closeRefused, closeRefused});
    EXPECT_EQ(logLines(), expected);
    EXPECT_NE(w.Service().SettingsFile(), nullptr) << "a refused close keeps the settings files";

    // Stopped, Close closes the window and releases the settings files.
    click("BitBtn2");
    click("BitBtn4");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Service().SettingsFile(), nullptr);
    EXPECT_EQ(logLines().back(), stopLines().back()) << "closing writes no line";
}

TEST_F(TarvelWindowTest, SetupOpensTheDialogWhileStopped)
{
    TfrmTarvel& w = open();
    QString shownPort;
    boxes.whileOpen = [&](QWidget* dialog) {
        if (auto* edit = dialog->findChild<QLineEdit*>("Edit2"))
            shownPort = edit->text();
    };
    click("BitBtn3");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].className, "tarvel::TdlgSetup");
    EXPECT_EQ(boxes.seen[0].title, "Setup");
    EXPECT_EQ(shownPort, QString::number(port)) << "the dialog shows the window's settings file";
    EXPECT_TRUE(logLines().empty());

    // Closed, the window goes on: Start works.
    click("BitBtn1");
    EXPECT_TRUE(w.Service().Running());
}

// A Tarvel.ini over 1 MiB, there when the window opens or grown since: each path that reads it says
// so in the general error box and goes no further (the window opens, Start does not run, the setup
// dialog does not open), and the file stays as it was.
TEST_F(TarvelWindowTest, ASettingsFileOverOneMebibyteIsToldInABoxAndKept)
{
    const QString settings = folder.path() + "Tarvel.ini";
    const auto grow = [&settings] {
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write(QByteArray(2 << 20, '\n')), 2 << 20);
    };
    // The settings' own lines and 2 MiB of blank ones.
    const auto refusal = [&settings] {
        return settings + " is 2.0 MiB (" + QString::number(QFileInfo(settings).size())
             + " bytes): a settings file over 1 MiB is not read.";
    };
    for (const bool atCreation : {true, false}) {
        SCOPED_TRACE(atCreation ? "there at creation" : "grown since");
        folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port));
        const QByteArray head = folder.readSettings();
        if (atCreation)
            grow();
        boxes.seen.clear();
        TfrmTarvel& w = open();
        if (atCreation) {
            ASSERT_EQ(boxes.seen.size(), 1u);
            EXPECT_EQ(boxes.seen[0].text.toStdString(), refusal().toStdString());
            EXPECT_TRUE(w.isVisible());
        } else {
            ASSERT_TRUE(boxes.seen.empty());
            grow();
        }
        const qint64 size = QFileInfo(settings).size();
        for (const char* button : {"BitBtn1", "BitBtn3"}) { // Start, Setup
            SCOPED_TRACE(button);
            boxes.seen.clear();
            click(button);
            ASSERT_EQ(boxes.seen.size(), 1u);
            EXPECT_EQ(boxes.seen[0].className, "QMessageBox") << "no setup dialog";
            EXPECT_EQ(boxes.seen[0].text.toStdString(), refusal().toStdString());
            EXPECT_FALSE(w.Service().Running());
        }
        EXPECT_EQ(QFileInfo(settings).size(), size);
        EXPECT_TRUE(folder.readSettings().startsWith(head));
        window.reset();
    }
}

// The ticks come from the test: the timer's interval is longer than the test, and each tick is given
// by hand. Auto start on: Start runs on the second tick, once; off: the ticks go by without effect.
TEST_F(TarvelWindowTest, AutoStartRunsOnTheSecondTickAndOnlyWhenSet)
{
    for (const bool autoStart : {true, false}) {
        SCOPED_TRACE(autoStart ? "AUTO_START=T" : "AUTO_START absent");
        folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, autoStart ? "AUTO_START=T\r\n" : ""));
        TfrmTarvel& w = open(false);
        w.Service().SetAutoStartTick(std::chrono::hours(1));
        w.show();
        EXPECT_EQ(w.cbAutoStart->isChecked(), autoStart);
        EXPECT_TRUE(w.Service().AutoStartTimerActive());
        w.Service().autoStartTick();
        EXPECT_FALSE(w.Service().Running()) << "not on the first tick";
        EXPECT_TRUE(logLines().empty());
        for (int i = 0; i < 2 && w.Service().AutoStartTimerActive(); ++i) // as the timer ticks: while it runs
            w.Service().autoStartTick();
        EXPECT_EQ(w.Service().Running(), autoStart);
        EXPECT_EQ(logLines(), autoStart ? startLines() : std::vector<QByteArray>());
        EXPECT_EQ(w.BitBtn1->isEnabled(), !autoStart);
        EXPECT_EQ(w.BitBtn2->isEnabled(), autoStart);
        EXPECT_EQ(w.ActivePriceLevel->text(), autoStart ? "P1" : "");
        // Tried once; without auto start the timer ticks on.
        EXPECT_EQ(w.Service().AutoStartTimerActive(), !autoStart);
        EXPECT_TRUE(boxes.seen.empty());
        window.reset();
    }
}

// A setting read as its default is said in the status bar, without a box; the tooltip holds every
// remark, the store served included.
TEST_F(TarvelWindowTest, AnAutoStartWrittenYesIsSaidInTheStatusBar)
{
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, "AUTO_START=yes\r\n"));
    TfrmTarvel& w = open();
    const QString said = "AUTO_START \"yes\" is not T or F: F (off) is used";
    EXPECT_TRUE(w.RemarkPanel->isVisible());
    EXPECT_EQ(w.RemarkPanel->text(), said);
    click("BitBtn1");
    EXPECT_EQ(w.StatusBar1->toolTip(),
              "warning: " + said + "\ninfo: serving store S01 \"QUILLPOST MART KLANG\" at price level P1");
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(logLines(), startLines());
}

TEST_F(TarvelWindowTest, AFailedAutoStartIsNotRetried)
{
    const QByteArray missing = QDir(folder.path()).filePath("missing/DATA.FDB").toLatin1();
    folder.writeSettings(ProgramFolder::settingsFor(missing, port, "AUTO_START=T\r\n"));
    TfrmTarvel& w = open(false);
    w.Service().SetAutoStartTick(std::chrono::milliseconds(50));
    w.show();
    ASSERT_TRUE(boxes.waitFor(1, 20000)) << "the Error box of the failed Start";
    EXPECT_EQ(boxes.seen[0].title, "Error");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[0].buttons, QStringList({"OK"}));
    EXPECT_FALSE(boxes.seen[0].text.isEmpty());
    EXPECT_EQ(logLines(), std::vector<QByteArray>({FormatLogLabel("- FDB data connection") + kStatusError}));

    EXPECT_FALSE(boxes.waitFor(2, 1000)) << "no second try in twenty ticks";
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_FALSE(w.Service().Running());
    EXPECT_TRUE(w.BitBtn1->isEnabled());
    EXPECT_FALSE(w.BitBtn2->isEnabled());
    EXPECT_FALSE(w.Service().AutoStartTimerActive());
}

// A modal box keeps the event loop running: a terminal's scan is answered while the box is open.
TEST_F(TarvelWindowTest, AScanIsServedWhileAnErrorBoxIsOpen)
{
    TfrmTarvel& w = open();
    ASSERT_TRUE(startServingLoopback());

    QByteArray reply;
    bool boxStillOpen = false;
    boxes.whileOpen = [&](QWidget* box) {
        reply = TerminalClient(port).scan("9556001000017");
        boxStillOpen = box->isVisible() && QApplication::activeModalWidget() == box;
    };
    w.showGeneralErrorBox("Unable to complete network request to host \"pos-server\".");

    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Tarvel");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[0].text, "Unable to complete network request to host \"pos-server\".");
    EXPECT_TRUE(boxStillOpen);
    EXPECT_TRUE(reply.contains("MILO 400G")) << reply.toStdString();
    EXPECT_TRUE(reply.contains("RM 14.90")) << reply.toStdString();
    EXPECT_EQ(logLines()[startLines().size() + 2], LogLineWithValue("< [SENT] 9556001000017", "127.0.0.1"));
}

// One error box at a time: failures while it is open are folded into the box that follows it, so a
// database failing under scanning terminals neither nests boxes (each a level of stack) nor keeps the
// other terminals waiting.
TEST_F(TarvelWindowTest, FailuresWhileABoxIsOpenAreFoldedIntoTheNextBox)
{
    MakeBoomFail(folder.dataPath());
    TfrmTarvel& w = open();
    ASSERT_TRUE(startServingLoopback());
    int queries = 0;
    w.Service().Pos().coDataDb().setSqlTrace([&](const QByteArray&) { ++queries; });
    TerminalClient failing(port), other(port);
    ASSERT_TRUE(failing.connected() && other.connected());

    int scans = 1, otherServed = 0;
    qsizetype mostBoxes = 0;
    boxes.whileOpen = [&](QWidget*) {
        QTimer watch; // counts the boxes on screen and closes one opened inside another
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QWidgetList tops = QApplication::topLevelWidgets();
            const qsizetype shown = std::count_if(
                tops.begin(), tops.end(), [](QWidget* t) { return qobject_cast<QMessageBox*>(t) && t->isVisible(); });
            mostBoxes = std::max(mostBoxes, shown);
            if (shown > 1)
                QApplication::activeModalWidget()->close();
        });
        watch.start(1);
        for (; boxes.seen.size() == 1 && scans < 10000 && mostBoxes <= 1; ++scans) {
            const int before = queries;
            failing.send(ScanMessage("BOOM", ScanForm::C1));
            for (const QDeadlineTimer deadline(TerminalClient::kPatienceMs);
                 queries < before + 3 && !deadline.hasExpired();)
                QCoreApplication::processEvents();
            if (scans % 1000 == 0 && other.scan("9556001000017").contains("MILO 400G"))
                ++otherServed;
        }
        QTest::qWait(20);
    };
    failing.send(ScanMessage("BOOM", ScanForm::C1));
    ASSERT_TRUE(boxes.waitFor(2, 120000)) << scans << " scans, at most " << mostBoxes << " boxes at once";
    QTest::qWait(50);
    EXPECT_EQ(mostBoxes, 1);
    EXPECT_EQ(scans, 10000);
    EXPECT_EQ(otherServed, 9);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_TRUE(boxes.seen[0].text.contains("divide by zero")) << boxes.seen[0].text.toStdString();
    EXPECT_EQ(boxes.seen[1].text, boxes.seen[0].text
                                      + "\n\n9999 more errors came since the box before this one "
                                        "opened; this is the last of them.");
}

// A database server that stops answering holds a scan, and the window, for FDB_QUERY_TIMEOUT and no
// longer: the scan's error box comes, Stop takes the service down, Close closes the window.
TEST_F(TarvelWindowTest, AFrozenDatabaseHoldsAScanForItsDeadlineAndStopAndCloseStillWork)
{
    FreezingRelay relay;
    ASSERT_TRUE(serveOneTerminal(relay.serverPath(folder.dataPath()), 1));
    TfrmTarvel& w = *window;

    relay.freeze();
    QElapsedTimer took;
    took.start();
    terminal->send(ScanMessage("9556001000017", ScanForm::C1));
    ASSERT_TRUE(boxes.waitFor(1, 20000));
    EXPECT_GE(took.elapsed(), 950); // held for the deadline; the box's text names it
    EXPECT_EQ(boxes.seen[0].text, "The POS database did not answer within 1 s.");
    took.start();
    click("BitBtn2");
    EXPECT_LT(took.elapsed(), Database::kCloseLimit.count() + 10000); // bounded, on a busy machine too
    EXPECT_FALSE(w.Service().Running());
    click("BitBtn4");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(TarvelWindowTest, EachBoxHasItsTitleIconAndOneOk)
{
    TfrmTarvel& w = open();
    // Texts as the database sends them: markup characters stay text, each byte one character.
    const QByteArray text = "Field <M_DESC> & \"Caf\xE9\" has no value";
    w.showGeneralErrorBox(text + ".");
    w.showErrorBox(text);
    w.showInformationBox(text);
    w.showNoticeBox(text);
    ASSERT_EQ(boxes.seen.size(), 4u);
    const std::tuple<const char*, QMessageBox::Icon, QByteArray> expected[] = {
        {"Tarvel", QMessageBox::Critical, text + "."},
        {"Error", QMessageBox::Critical, text},
        {"Information", QMessageBox::Information, text},
        {"Tarvel", QMessageBox::NoIcon, text}};
    for (size_t i = 0; i < 4; ++i) {
        const auto& [title, icon, shown] = expected[i];
        EXPECT_EQ(boxes.seen[i].className, "QMessageBox") << i;
        EXPECT_EQ(boxes.seen[i].title, title) << i;
        EXPECT_EQ(boxes.seen[i].icon, icon) << i;
        EXPECT_EQ(boxes.seen[i].text, QString::fromLatin1(shown)) << i;
        EXPECT_EQ(boxes.seen[i].textFormat, Qt::PlainText) << i;
        EXPECT_EQ(boxes.seen[i].buttons, QStringList({"OK"})) << i;
    }
    EXPECT_TRUE(logLines().empty()) << "boxes are not log lines";
}

TEST_F(TarvelWindowTest, ACreationFailureIsReportedAndTheWindowStillOpens)
{
    // A file where the registry's folder should go: the folder cannot be made.
    QFile blocker(folder.path() + "Log");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TfrmTarvel& w = open();
    ASSERT_EQ(boxes.seen.size(), 1u) << "reported during creation, before the window shows";
    EXPECT_EQ(boxes.seen[0].title, "Tarvel");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes.seen[0].text.startsWith("Cannot create ")) << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(boxes.seen[0].text.endsWith(".")) << "the full stop of the general report";
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.StoreCode->text(), "S01") << "the steps before the failure stay done";
    EXPECT_TRUE(logLines().empty());
    EXPECT_TRUE(w.BitBtn1->isEnabled());
}

TEST_F(TarvelWindowTest, TheLogKeepsTheNewestLinesInView)
{
    TfrmTarvel& w = open();
    w.appendLog("> [RECV] Caf\xE9 \x01<b>[10.0.0.9]");
    EXPECT_EQ(w.MemoLog->document()->firstBlock().text(), QString::fromLatin1("> [RECV] Caf\xE9 \\x01<b>[10.0.0.9]"));

    for (int i = 1; i <= kLogLinesKept + 9; ++i)
        w.appendLog("line " + QByteArray::number(i).rightJustified(5, '0'));
    const std::vector<QByteArray> lines = logLines();
    ASSERT_EQ(lines.size(), size_t(kLogLinesKept));
    EXPECT_EQ(lines.front(), "line 00010") << "the oldest lines went first";
    EXPECT_EQ(lines.back(), "line 10009");
    QScrollBar* bar = w.MemoLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the newest line is in view";

    // Scrolled back by the operator with the keys, the view keeps its place while lines arrive (the
    // oldest dropping off meanwhile); back at the end, it follows them again.
    QTest::keyClick(w.MemoLog, Qt::Key_End, Qt::ControlModifier);
    for (int page = 0; page < 3; ++page)
        QTest::keyClick(w.MemoLog, Qt::Key_PageUp);
    const auto topLine = [&w] { return w.MemoLog->cursorForPosition(QPoint(4, 4)).block().text(); };
    const QString top = topLine();
    ASSERT_LT(bar->value(), bar->maximum());
    w.appendLog("line newest");
    w.appendLog("line newer still");
    EXPECT_EQ(topLine(), top);
    EXPECT_LT(bar->value(), bar->maximum());
    QTest::keyClick(w.MemoLog, Qt::Key_End, Qt::ControlModifier);
    w.appendLog("line last");
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(logLines().back(), "line last");
}

// The desktop entry's icon (packaging/tarvel.png) is the window's logo on a transparent square, made
// from DrawLogo so that the two never part. TARVEL_WRITE_ICON=1 (scripts/screenshots) writes it afresh.
TEST(TarvelIcon, IsTheWindowsLogoOnATransparentSquare)
{
    const QPixmap logo = TfrmTarvel::DrawLogo();
    QImage icon(96, 96, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const int top = (icon.height() - logo.height()) / 2;
    painter.drawRoundedRect(QRectF(1, top + 1, 94, 78), 10, 10); // the logo's own rounded edge
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.drawPixmap(0, top, logo);
    painter.end();

    const QString file = QStringLiteral(TARVEL_SOURCE_DIR "/packaging/tarvel.png");
    if (qEnvironmentVariableIsSet("TARVEL_WRITE_ICON")) {
        ASSERT_TRUE(icon.save(file)) << file.toStdString();
    }
    const QImage installed(file);
    ASSERT_FALSE(installed.isNull()) << file.toStdString();
    EXPECT_EQ(installed.convertToFormat(QImage::Format_ARGB32), icon)
        << "the logo changed: scripts/screenshots makes the icon afresh";
    EXPECT_EQ(qAlpha(installed.pixel(0, 0)), 0) << "transparent corners";
    EXPECT_EQ(qAlpha(installed.pixel(48, 48)), 255);
}

} // namespace

// The scan panel follows the three panels and comes before the remarks, which still show; it counts
// today's scans and the connected terminals, and names the status page's port while no remark needs
// the room (the whole address is in its tooltip). No panel overlaps the next.
TEST_F(TarvelWindowTest, TheScanPanelCountsScansAndTerminalsBesideTheRemarks)
{
    const quint16 httpPort = ProgramFolder::FreePort();
    const QByteArray statusSetup = "[STATUS_SETUP]\r\nHTTP_PORT=" + QByteArray::number(httpPort) + "\r\n";
    const QString url = "http://127.0.0.1:" + QString::number(httpPort) + "/";
    const auto inOrderWithoutOverlap = [](TfrmTarvel& w) {
        QTest::qWait(50); // the bar lays its panels out again on the next turn of the event loop
        const QList<QLabel*> order{w.StoreCode, w.StoreName, w.ActivePriceLevel, w.ScanPanel, w.RemarkPanel};
        for (qsizetype i = 1; i < order.size(); ++i) {
            if (order[i]->isVisible()) {
                EXPECT_GE(order[i]->x(), order[i - 1]->x() + order[i - 1]->width())
                    << order[i]->objectName().toStdString();
            }
        }
        EXPECT_EQ(w.StoreCode->width(), 75);
        EXPECT_EQ(w.StoreName->width(), 250);
        EXPECT_GE(w.ActivePriceLevel->width(), 50);
        EXPECT_GE(w.ScanPanel->contentsRect().width(),
                  w.ScanPanel->fontMetrics().horizontalAdvance(w.ScanPanel->text()));
        const QLabel* last = w.RemarkPanel->isVisible() ? w.RemarkPanel : w.ScanPanel;
        EXPECT_LE(last->x() + last->width(), w.StatusBar1->width());
    };

    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, "AUTO_START=yes\r\n") + statusSetup);
    TfrmTarvel& warned = open();
    ASSERT_TRUE(startServingLoopback());
    TerminalClient terminal(port);
    EXPECT_FALSE(terminal.scan("9556001000017").isEmpty());
    EXPECT_FALSE(terminal.scan("0000000000000").isEmpty());
    // Once a second, not at every scan.
    EXPECT_TRUE(waitUntil([&] { return warned.ScanPanel->text() == "2 scans \u00b7 1 term."; }))
        << warned.ScanPanel->text().toStdString();
    EXPECT_EQ(warned.ScanPanel->toolTip(), "Scans today: 2\nTerminals connected: 1\nStatus page: " + url);
    EXPECT_TRUE(warned.RemarkPanel->isVisible());
    EXPECT_EQ(warned.RemarkPanel->text(), "AUTO_START \"yes\" is not T or F: F (off) is used");
    inOrderWithoutOverlap(warned);
    click("BitBtn2");
    window.reset();

    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port) + statusSetup);
    TfrmTarvel& quiet = open();
    EXPECT_FALSE(quiet.RemarkPanel->isVisible());
    EXPECT_EQ(quiet.ScanPanel->text(), "0 scans \u00b7 0 term. \u00b7 :" + QString::number(httpPort));
    inOrderWithoutOverlap(quiet);
    // With the longest price column shown, the price level still fits.
    folder.writeSettings(ProgramFolder::settingsFor(folder.dataPath(), port, {}, "M_P1_MIN_PRICE") + statusSetup);
    ASSERT_TRUE(startServingLoopback());
    EXPECT_EQ(quiet.ActivePriceLevel->text(), "M_P1_MIN_PRICE");
    inOrderWithoutOverlap(quiet);
    EXPECT_GE(quiet.ActivePriceLevel->contentsRect().width(),
              quiet.ActivePriceLevel->fontMetrics().horizontalAdvance(quiet.ActivePriceLevel->text()))
        << quiet.ScanPanel->text().toStdString();
    click("BitBtn2");
}
