#include "terminal/TerminalScreen.h"

#include "mock/PipelineFakes.h"
#include "terminal/Frames.h"

#include <gtest/gtest.h>

using namespace tarvel;

TEST(TerminalScreen, CompleteFramesAndRendering)
{
    LookupResult r = Milo();
    const QByteArray item = ComposeItemFrame(r, "1", false);
    EXPECT_TRUE(IsCompleteFrame(item));
    EXPECT_FALSE(IsCompleteFrame(item.left(item.size() - 1)));
    EXPECT_FALSE(IsCompleteFrame(NotFoundFrame().left(40)));
    EXPECT_TRUE(IsCompleteFrame(NotFoundFrame()));
    r.Description = QByteArray("Caf\xe9\x03X", 6);
    EXPECT_EQ(RenderScreen(ComposeItemFrame(r, "1", false)), "Caf\xe9\\x03X | 1 |  | RM 21.90");
    EXPECT_EQ(ScanMessage("12", ScanForm::C1), "\x02]C112\r");
    EXPECT_EQ(ScanMessage("12", ScanForm::FF), "FF12\r");
    EXPECT_EQ(ScanMessage("12", ScanForm::Byte), "\x02"
                                                 "12\r");
}
