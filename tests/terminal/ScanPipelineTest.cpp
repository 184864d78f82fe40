// The pipeline without sockets: a message in; the receipt line, the registry search, the trims, the
// lookup; the reply frame and the result line out. The registry and the lookups are fakes.

#include "terminal/ScanPipeline.h"

#include "base/RunContext.h"
#include "data/EDatabaseError.h"
#include "mock/PipelineFakes.h"
#include "mock/RecordingFront.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

using namespace tarvel;

namespace {

class ScanPipelineTest : public ::testing::Test {
protected:
    ScanPipelineTest()
    {
        registry.addresses.insert("127.0.0.1");
        lookups.items["9555000000017"] = Milo();
    }

    // One message from `terminal`, received at the server's address 10.0.0.1.
    ScanPipeline::Reply handle(const QByteArray& message, const QByteArray& terminal = "127.0.0.1")
    {
        return pipeline.Handle(message, terminal, "10.0.0.1");
    }

    RecordingFront front;
    FakeRegistry registry;
    FakeLookups lookups;
    RunContext run;
    ScanPipeline pipeline{front, registry, lookups, run};
};

TEST_F(ScanPipelineTest, RegisteredScanFoundGetsItemFrameAndSentLine)
{
    ScanPipeline::Reply reply = handle("\x02]C19555000000017\r");
    EXPECT_EQ(reply.frame, ComposeItemFrame(Milo(), "9555000000017", false));
    EXPECT_EQ(front.lines, std::vector<QByteArray>{"> [RECV] 9555000000017..................[127.0.0.1]"});
    // The sent line names the server's own address.
    EXPECT_EQ(reply.resultLine, "< [SENT] 9555000000017..................[10.0.0.1]");
    ASSERT_EQ(lookups.calls.size(), 1u);
    EXPECT_FALSE(lookups.calls[0].extended);
    EXPECT_EQ(registry.searched, std::vector<QByteArray>{"127.0.0.1"});

    // The extended switch of the run in force is read per message.
    run.ExtendedLayout = true;
    reply = handle("FF9555000000017\r");
    EXPECT_EQ(reply.frame, ComposeItemFrame(Milo(), "9555000000017", false));
    EXPECT_EQ(reply.resultLine, "< [SENT.XE] 9555000000017...............[10.0.0.1]");
    EXPECT_TRUE(lookups.calls[1].extended);
}

TEST_F(ScanPipelineTest, NotFoundFrameAndLine)
{
    const ScanPipeline::Reply reply = handle("\x02"
                                             "12345\r");
    EXPECT_EQ(reply.frame, NotFoundFrame());
    EXPECT_EQ(front.lines, std::vector<QByteArray>{"> [RECV] 12345..........................[127.0.0.1]"});
    EXPECT_EQ(reply.resultLine, "< [Not Found]...........................[12345]");
}

TEST_F(ScanPipelineTest, RegisteredCodeIsTrimmedAndCheckDigitsCut)
{
    run.Settings.TrimEan13Digits = true;
    run.Settings.TrimEan8Digits = true;
    lookups.items["955500000001"] = Milo();
    const ScanPipeline::Reply reply = handle("\x02]C1 9555000000017\r\n\r");
    EXPECT_EQ(reply.frame, ComposeItemFrame(Milo(), "955500000001", false));
    EXPECT_EQ(lookups.calls.back().code, "955500000001");
    // The label's own trim takes the CR LF off the end of the receipt line, not the blank inside.
    EXPECT_EQ(front.lines[0], "> [RECV]  9555000000017.................[127.0.0.1]");
    EXPECT_EQ(reply.resultLine, "< [SENT] 955500000001...................[10.0.0.1]");

    handle("FFABCDEFGH\r");
    EXPECT_EQ(lookups.calls.back().code, "ABCDEFG");
}

TEST_F(ScanPipelineTest, UnregisteredTerminalIsAnsweredAsUnRegistered)
{
    registry.addresses = {"127.0.0.2 ", "127.0.0.01", "027.0.0.1"};
    ScanPipeline::Reply reply = handle("\x02]C19555000000017\r");
    EXPECT_EQ(reply.frame, NotFoundFrame());
    EXPECT_EQ(lookups.calls.back().code, "Un-Registered");
    EXPECT_EQ(reply.resultLine, "< [Not Found]...........................[Un-Registered]");

    // With the EAN-13 trim on, the 13-character replacement itself loses its last character.
    run.Settings.TrimEan13Digits = true;
    reply = handle("\x02]C1 anything \r");
    EXPECT_EQ(lookups.calls.back().code, "Un-Registere");
    EXPECT_EQ(reply.resultLine, "< [Not Found]...........................[Un-Registere]");

    // The terminal's address is the one searched and named in the receipt line.
    handle("\x02]C19555000000017\r", "127.0.0.2");
    EXPECT_EQ(registry.searched.back(), "127.0.0.2");
    EXPECT_EQ(front.lines.back(), "> [RECV] 9555000000017..................[127.0.0.2]");
}

TEST_F(ScanPipelineTest, ShortMessagesGiveEmptyCodeStillLoggedAndLookedUp)
{
    const ScanPipeline::Reply reply = handle("A");
    EXPECT_EQ(reply.frame, NotFoundFrame());
    EXPECT_EQ(front.lines[0], "> [RECV]................................[127.0.0.1]");
    EXPECT_EQ(reply.resultLine, "< [Not Found]...........................[]");
    EXPECT_EQ(lookups.calls.back().code, "");
}

TEST_F(ScanPipelineTest, LongCodeShowsInPartButIsLookedUpWhole)
{
    const QByteArray code(45, '8');
    const ScanPipeline::Reply reply = handle("\x02]C1" + code + "\r");
    EXPECT_EQ(front.lines[0], "> [RECV] " + QByteArray(31, '8') + "[127.0.0.1]");
    EXPECT_EQ(lookups.calls.back().code, code);
    EXPECT_EQ(reply.resultLine, "< [Not Found]..........................."
                                "[" + code
                                    + "]");
}

// One log entry is one line: a scanned line feed cannot write a line of its own. Control bytes show as
// escapes in the log only; the lookup and the reply get them as they came, and so do bytes above 127.
TEST_F(ScanPipelineTest, ControlAndHighBytesOfAScanReachTheLookupUnchanged)
{
    const QByteArray code = "123\n- FDB data disconnected\x7f";
    lookups.items[code] = Milo();
    const ScanPipeline::Reply reply = handle("\x02]C1" + code + "\r");
    EXPECT_EQ(reply.frame, ComposeItemFrame(Milo(), code, false));
    EXPECT_EQ(lookups.calls.back().code, code);
    EXPECT_EQ(front.lines[0], "> [RECV] 123\\x0A- FDB data disconnected\\x7F...[127.0.0.1]");
    front.appendLog(reply.resultLine);
    EXPECT_EQ(front.lines[1], "< [SENT] 123\\x0A- FDB data disconnected\\x7F...[10.0.0.1]");

    const QByteArray high("\xb0\xa1\xff\x80", 4);
    handle("\x02]C1" + high + "\r");
    EXPECT_EQ(lookups.calls.back().code, high);
}

// A failing registry or lookup ends the message after its receipt line: the error leaves the pipeline,
// and there is no reply and no result line.
TEST_F(ScanPipelineTest, AFailingRegistryOrLookupThrowsAfterTheReceiptLine)
{
    registry.failing = true;
    EXPECT_THROW(handle("\x02]C1123\r"), EDatabaseError);
    EXPECT_TRUE(lookups.calls.empty());
    EXPECT_EQ(front.lines, std::vector<QByteArray>{"> [RECV] 123............................[127.0.0.1]"});

    registry.failing = false;
    EXPECT_THROW(handle("\x02]C1"
                        "FAIL\r"),
                 EDatabaseError);
    EXPECT_EQ(front.lines.size(), 2u);
}

} // namespace
