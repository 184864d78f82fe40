// make demo's script as a process of its own.

#include "support/TarvelProcess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace tarvel;

// make demo from a clone in a folder that only its own user can reach, as root's home (mode 700) is:
// the demo database is that user's own file, opened embedded, and the README's tarvel-term line gets
// the MILO screen.
TEST(Demo, ServesFromAFolderNoOtherUserCanReach)
{
    QTemporaryDir home; // mode 700
    const quint16 port = ProgramFolder::FreePort();
    qputenv("TARVEL_BIN", TARVEL_BIN_DIR);
    qputenv("TARVEL_DEMO_DIR", home.filePath("demo").toLocal8Bit());
    qputenv("TARVEL_DEMO_PORT", QByteArray::number(port));
    qputenv("TARVEL_DEMO_HEADLESS", "1");
    TarvelProcess demo(QStringLiteral(TARVEL_SOURCE_DIR "/scripts/demo"), {});
    ASSERT_TRUE(demo.waitForLine(FormatLogLabel("  Port No#    : " + QByteArray::number(port)), 120000))
        << demo.lines().join('\n').toStdString() << demo.err().toStdString();
    EXPECT_TRUE(demo.lines().contains("check passed: Start would succeed")) << "tarvel --check on the demo setup";

    const ProgramRun milo = RunProgram(kTarvelTerm, {"127.0.0.1", QString::number(port), "9556001000017"});
    EXPECT_EQ(milo.status, 0) << milo.err.toStdString();
    EXPECT_TRUE(milo.out.startsWith("9556001000017 -> description: MILO 400G")) << milo.out.toStdString();
    EXPECT_EQ(demo.terminate(), 0);
}
