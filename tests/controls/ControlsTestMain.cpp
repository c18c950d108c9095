// The widget tests need one application object for the whole run. Test
// discovery runs the executable without the test environment, so the
// offscreen platform is the default here too.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifndef _WIN32
    // (Qt for Windows has only its Windows platform: a display, Xvfb under Wine.)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
