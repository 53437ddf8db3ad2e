#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    // Headless by default, so that the tests also run where there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
