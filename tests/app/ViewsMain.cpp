#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    // Headless by default, so that the tests also run where there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The setups with a larger system font (tests/app/CMakeLists.txt) ask for it here, as a
    // desktop's font settings would.
    if (const double points = qEnvironmentVariable("VELLUMKITE_TEST_FONT_POINTS").toDouble();
        points > 0) {
        QFont font = QApplication::font();
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    return RUN_ALL_TESTS();
}
