// tarvel-term against a running listener, as a store's IT person would use it.

#include "support/ListenerHarness.h"
#include "terminal/Frames.h"
#include "terminal/TerminalScreen.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

using namespace tarvel;

namespace {

struct TermRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

TermRun RunTerm(const QStringList& args, const QByteArray& input = {})
{
    QProcess term;
    term.start(QStringLiteral(TARVEL_BIN_DIR "/tarvel-term"), args);
    EXPECT_TRUE(term.waitForStarted(5000));
    if (!input.isEmpty())
        term.write(input);
    term.closeWriteChannel();
    // The listener lives in this process: keep its event loop turning while the terminal talks.
    EXPECT_TRUE(QTest::qWaitFor([&] { return term.state() == QProcess::NotRunning; }, 15000));
    return {term.exitCode(), term.readAllStandardOutput(), term.readAllStandardError()};
}

class TarvelTermTest : public ::testing::Test, protected ListenerHarness {
protected:
    QString port = QString::number(listener.Port());
};

} // namespace

TEST_F(TarvelTermTest, PrintsOneReadableLinePerScan)
{
    const TermRun run = RunTerm({"127.0.0.1", port, "9555000000017", "404"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, "9555000000017 -> description: Milo 1kg Tin | scan code: 9555000000017 | shelf: (none) | "
                       "price: RM 21.90\n"
                       "404 -> Item not found | Please scan again\n");
    EXPECT_EQ(lookups.calls.size(), 2u);
}

TEST_F(TarvelTermTest, FormsRawAndStandardInput)
{
    TermRun run = RunTerm({"--form", "FF", "--raw", "127.0.0.1", port, "1"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, NotFoundFrame().toHex(' ') + "\n");
    run = RunTerm({"--form=FF", "--timeout=2000", "--raw", "127.0.0.1", port, "1"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, NotFoundFrame().toHex(' ') + "\n");
    EXPECT_EQ(RunTerm({"--raw=1", "127.0.0.1", port, "1"}).exitCode, 2);
    EXPECT_EQ(front.lines[2], "> [RECV] 1..............................[127.0.0.1]");

    run = RunTerm({"--form", "byte", "127.0.0.1", port}, "9555000000017\r\n777\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.count('\n'), 2);
    EXPECT_TRUE(run.out.startsWith("9555000000017 -> description: Milo 1kg Tin"));
    EXPECT_EQ(lookups.calls.back().code, "777");
}

TEST_F(TarvelTermTest, NoReplyAndBadArgumentsAreClear)
{
    // A failing lookup leaves the terminal without a reply: the emulator says so and exits 1.
    TermRun run = RunTerm({"--timeout", "300", "127.0.0.1", port, "FAIL"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "FAIL -> (no reply within 300 ms)\n");

    run = RunTerm({"127.0.0.1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("usage: tarvel-term"));
    run = RunTerm({"--form", "QR", "127.0.0.1", port, "1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("unknown form 'QR'"));
    run = RunTerm({"127.0.0.1", "70000", "1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(RunTerm({"--version"}).out, "tarvel-term " TARVEL_VERSION "\n");

    // tarvel-load says why its terminals failed, its summary lines unchanged.
    QProcess load;
    listener.Close();
    load.start(QStringLiteral(TARVEL_BIN_DIR "/tarvel-load"), {"--terminals", "2", "127.0.0.1", port, "1"});
    ASSERT_TRUE(load.waitForFinished(15000));
    EXPECT_TRUE(load.readAllStandardOutput().startsWith("terminals 2, replies 0, failures 2, "));
    EXPECT_EQ(load.readAllStandardError(),
              "tarvel-load: 2 terminals failed: 2 refused (nothing listens on 127.0.0.1:" + port.toLatin1() + ")\n");
}
