// The window tests run under the program's own application object, so that
// an error escaping a handler meets the program's default handler.
#include "app/uApplication.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    // Offscreen also when the runner lists the tests without CTest's environment.
    // (Qt for Windows has only its Windows platform: a display, Xvfb under Wine.)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    velmora::TVelmoraApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
