#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <QCoreApplication>

int main(int argc, char** argv) {
    // "Today" starts at local midnight; the tests place their turns in UTC.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
