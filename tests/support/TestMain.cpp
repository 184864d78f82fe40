#include <gtest/gtest.h>

#ifdef TARVEL_TEST_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

// One application object per test process: widget tests need QApplication, the others only an event loop.
int main(int argc, char** argv)
{
#ifdef TARVEL_TEST_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
#else
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
