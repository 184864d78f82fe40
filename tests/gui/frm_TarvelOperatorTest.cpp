// The operator keeps the window: clicks and keys go through the window system as a desktop delivers
// them (so a modal box blocks them as it blocks the operator's), during a storm of failing scans and
// while a frozen database holds the event thread.

#include "base/OperatorLog.h"
#include "data/Database.h"
#include "data/PosConnections.h"
#include "frm_TarvelFixture.h"
#include "gui/frm_Tarvel.h"
#include "support/FreezingRelay.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace tarvel;

namespace {

// A click of the mouse as the window system hands it over: a press and a release at the button's
// place in its window, so that a modal box over that window swallows it. Nothing else is processed
// meanwhile: two clicks made one after the other reach the window one after the other.
void OperatorClick(QWidget* button)
{
    QWidget* window = button->window();
    const QPointF local = button->mapTo(window, button->rect().center());
    const QPointF global = button->mapToGlobal(button->rect().center());
    QTest::lastMouseTimestamp += 2 * QTest::mouseDoubleClickInterval; // no double click with the one before
    qt_handleMouseEvent(window->windowHandle(), local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                        Qt::NoModifier, QTest::lastMouseTimestamp);
    qt_handleMouseEvent(window->windowHandle(), local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                        Qt::NoModifier, ++QTest::lastMouseTimestamp);
}

// A key pressed and released as the window system hands it over, to the window's focused control.
void OperatorKey(QWidget* window, Qt::Key key) { QTest::keyClick(window->windowHandle(), key); }

// The failures a box reports: its own, or the count its note gives for the ones folded into it.
int FailuresReported(const QString& text)
{
    static const QRegularExpression since("\n\n(\\d+) more errors? came since the box before this one opened");
    static const QRegularExpression atOnce("\n\n(\\d+) errors came at once");
    for (const QRegularExpression* note : {&since, &atOnce}) {
        if (const QRegularExpressionMatch match = note->match(text); match.hasMatch())
            return match.captured(1).toInt();
    }
    return 1;
}

class TarvelOperatorTest : public TarvelWindowTest {
protected:
    qsizetype linesStartingWith(const QByteArray& start) const
    {
        const std::vector<QByteArray> lines = logLines();
        return std::count_if(lines.begin(), lines.end(), [&](const QByteArray& l) { return l.startsWith(start); });
    }
};

// Every scan of a terminal fails, one every half second. The operator reads the box, clicks its OK and
// then Stop: the window is his between the boxes, so Stop takes at once, and the failures that came
// meanwhile are counted in the status bar and then in one box, none lost.
TEST_F(TarvelOperatorTest, OkAndThenStopEndAnErrorStormOnTheFirstTry)
{
    MakeBoomFail(folder.dataPath());
    TfrmTarvel& w = open();
    ASSERT_TRUE(startServingLoopback());
    TerminalClient terminal(port);
    ASSERT_TRUE(terminal.connected());
    // At most 40 scans (20 s), so that a window that never lets the operator stop it ends the test too.
    QTimer scanner;
    int scans = 1;
    QObject::connect(&scanner, &QTimer::timeout, [&] {
        if (terminal.state() == QAbstractSocket::ConnectedState && scans < 40) {
            terminal.send(ScanMessage("BOOM", ScanForm::C1));
            ++scans;
        }
    });
    scanner.start(500);
    terminal.send(ScanMessage("BOOM", ScanForm::C1));

    // Stop takes at once: no further box comes between the click and the stop.
    qsizetype boxesAtStopClick = -1;
    qsizetype boxesAtStop = -1;
    QObject::connect(&w.Service(), &TarvelService::stateChanged, [&] {
        if (!w.Service().Running() && boxesAtStop < 0 && boxesAtStopClick >= 0)
            boxesAtStop = qsizetype(boxes.seen.size());
    });
    boxes.whileOpen = [&](QWidget* box) {
        QTest::qWait(1000); // read
        OperatorClick(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok));
        if (boxesAtStopClick < 0) {
            // The way from OK to Stop.
            QTimer::singleShot(300, [&] {
                boxesAtStopClick = qsizetype(boxes.seen.size());
                OperatorClick(w.BitBtn2);
            });
        }
    };
    ASSERT_TRUE(waitUntil([&] { return boxesAtStopClick >= 0; }, 40000));
    waitUntil([&] { return boxesAtStop >= 0; }, 20000);
    ASSERT_GE(boxesAtStop, 0) << "the Stop click was swallowed; " << boxes.seen.size() << " boxes meanwhile";
    EXPECT_EQ(boxesAtStop, boxesAtStopClick) << "a box came between the Stop click and the stop";
    EXPECT_EQ(linesStartingWith("- IdTCPServer stopped"), 1);

    // Stopped, no failure comes any more; those since the box wait in the status bar.
    const qsizetype failures = linesStartingWith("> [RECV] BOOM");
    ASSERT_EQ(boxes.seen.size(), 1u);
    ASSERT_GE(failures, 2);
    EXPECT_TRUE(w.FoldedErrorsPanel->isVisible());
    EXPECT_EQ(w.FoldedErrorsPanel->text(),
              failures == 2 ? QString("1 more error") : QString("%1 more errors").arg(failures - 1));
    EXPECT_TRUE(w.FoldedErrorsPanel->toolTip().contains("divide by zero"))
        << w.FoldedErrorsPanel->toolTip().toStdString();

    ASSERT_TRUE(boxes.waitFor(2, 10000)) << "the failures since the box come in a box of their own";
    EXPECT_FALSE(boxes.waitFor(3, kErrorBoxPauseMs + 1500));
    ASSERT_EQ(boxes.seen.size(), 2u);
    int reported = 0;
    for (const ModalBoxes::Box& box : boxes.seen) {
        EXPECT_EQ(box.objectName, "GeneralErrorBox");
        EXPECT_TRUE(box.text.contains("divide by zero")) << box.text.toStdString();
        reported += FailuresReported(box.text);
    }
    EXPECT_EQ(reported, failures) << boxes.seen[1].text.toStdString();
    EXPECT_FALSE(w.FoldedErrorsPanel->isVisible());
    std::printf("[ figures  ] error storm: Stop clicked 300 ms after OK stopped the service before another box; "
                "%lld failed scans told in %zu boxes\n",
                static_cast<long long>(failures), boxes.seen.size());
}

// Failures still folded when the operator closes the window are told before it goes.
TEST_F(TarvelOperatorTest, FailuresStillFoldedAreToldBeforeTheWindowCloses)
{
    TfrmTarvel& w = open();
    w.showBackgroundErrorBox("Socket error: Connection reset by peer, on API 'recv'.");
    ASSERT_TRUE(boxes.waitFor(1));
    // In the pause after that box, two more.
    w.showBackgroundErrorBox("The terminal at 10.0.0.9 sent 17000 bytes at once.");
    w.showBackgroundErrorBox("Unable to complete network request to host \"pos-server\".");
    EXPECT_EQ(w.FoldedErrorsPanel->text(), "2 more errors");
    OperatorClick(w.BitBtn4);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "Unable to complete network request to host \"pos-server\".\n\n2 more errors came "
                                  "since the box before this one opened; this is the last of them.");
    EXPECT_FALSE(w.isVisible());
}

// Sent from another thread while the event thread is held, an event waits in the queue as the
// operator's input does while the window does not answer. Input from the window system comes after
// what the program itself queued meanwhile (the failed scan's report), hence the low priority.
class HeldClicks : public QObject {
public:
    std::vector<QWidget*> buttons;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        for (QWidget* button : buttons)
            OperatorClick(button);
        return true;
    }
};

// The database stops answering in the middle of a scan, and the window with it. The operator clicks
// Close and Stop meanwhile: once the scan has given up, both clicks count, and the scan's box comes.
TEST_F(TarvelOperatorTest, ClicksMadeWhileAFrozenScanHoldsTheWindowTakeEffect)
{
    FreezingRelay relay;
    ASSERT_TRUE(serveOneTerminal(relay.serverPath(folder.dataPath()), 3));
    TfrmTarvel& w = *window;

    // The event thread's pulse, read by the operator's thread.
    std::atomic<qint64> lastBeat{0};
    QElapsedTimer clock;
    clock.start();
    QTimer pulse;
    QObject::connect(&pulse, &QTimer::timeout, [&] { lastBeat = clock.elapsed(); });
    pulse.start(10);
    HeldClicks clicks;
    clicks.buttons = {w.BitBtn4, w.BitBtn2};

    boxes.whileOpen = [](QWidget*) { QTest::qWait(1000); }; // the operator reads the box

    relay.freeze();
    terminal->send(ScanMessage("9556001000017", ScanForm::C1));
    std::atomic<bool> clickedWhileHeld{false};
    std::thread operatorHand([&] {
        const qint64 giveUp = clock.elapsed() + 10000;
        while (clock.elapsed() - lastBeat < 1000 && clock.elapsed() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        clickedWhileHeld = clock.elapsed() - lastBeat >= 1000;
        QCoreApplication::postEvent(&clicks, new QEvent(QEvent::User), Qt::LowEventPriority);
    });
    const bool boxCame = boxes.waitFor(1, 10000);
    const bool stopped = waitUntil([&] { return !w.Service().Running(); }, 5000);
    operatorHand.join();
    ASSERT_TRUE(clickedWhileHeld) << "the window was never held";
    ASSERT_TRUE(boxCame);
    EXPECT_EQ(boxes.seen[0].text, "The POS database did not answer within 3 s.");
    EXPECT_TRUE(stopped) << "the Stop click made while the window was held is lost";
    std::vector<QByteArray> tail = logLines();
    ASSERT_GE(tail.size(), 3u);
    tail.erase(tail.begin(), tail.end() - 3);
    EXPECT_EQ(tail, std::vector<QByteArray>(
                        {FormatLogLabel("- FormClose [ERROR] ") + kStatusDenied, stopLines()[0], stopLines()[1]}));
    relay.thaw();
}

// Enter, like Space, presses the button that has the focus; it presses nothing from the log.
TEST_F(TarvelOperatorTest, EnterAndSpacePressTheFocusedButton)
{
    TfrmTarvel& w = open();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 8 && QApplication::focusWidget() != target; ++i)
            OperatorKey(&w, Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    };
    struct Case {
        QWidget* focus;
        Qt::Key key;
        bool runningAfter;
    };
    const Case cases[] = {
        {w.BitBtn1, Qt::Key_Return, true}, {w.BitBtn2, Qt::Key_Enter, false},  {w.BitBtn1, Qt::Key_Space, true},
        {w.BitBtn2, Qt::Key_Space, false}, {w.MemoLog, Qt::Key_Return, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(tabTo(c.focus)) << c.focus->objectName().toStdString();
        OperatorKey(&w, c.key);
        EXPECT_EQ(w.Service().Running(), c.runningAfter) << c.focus->objectName().toStdString() << " " << c.key;
    }
    std::vector<QByteArray> expected = startLines();
    for (const std::vector<QByteArray>& run : {stopLines(), startLines(), stopLines()})
        expected.insert(expected.end(), run.begin(), run.end());
    EXPECT_EQ(logLines(), expected) << "each key pressed its button once";

    // Close by Enter.
    ASSERT_TRUE(tabTo(w.BitBtn4));
    OperatorKey(&w, Qt::Key_Return);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(boxes.seen.empty());
}

} // namespace
