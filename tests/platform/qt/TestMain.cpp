// The test program starts like the real one: SIGXFSZ ignored from the first line, and one
// application object for the dialogs and the program directory.
#include "Process.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    zelvoset::PrepareProcess();
    ::testing::InitGoogleTest(&argc, argv);
    // The dialogs are answered by the tests themselves: no display is needed, also when the
    // test list is taken by the build.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
