#include "LocaleTimeOfDay.hpp"

#include "Timestamp.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>
#include <QLocale>
#include <QTime>

using namespace vellumkite;

namespace {

std::string at(const TimeOfDayFormatter& f, const char* utc) {
    return f(*Timestamp::parse(utc));
}

Environment withLocale(const char* name, const char* value) {
    Environment env;
    if (name)
        env.set(name, value);
    return env;
}

} // namespace

TEST(LocaleTimeOfDayTest, HoursAndMinutesInEveryLocale) {
    vellumkite::testing::ZoneGuard zone("UTC");
    const char* t = "2026-03-04T21:00:59.000Z"; // a Wednesday
    // The C locale's short form has seconds; a reset is said to the minute.
    EXPECT_EQ(at(LocaleTimeOfDay::formatter(withLocale(nullptr, nullptr)), t), "21:00");
    EXPECT_EQ(at(LocaleTimeOfDay::dayAndTime(withLocale(nullptr, nullptr)), t), "Wed 21:00");
    EXPECT_EQ(at(LocaleTimeOfDay::formatter(withLocale("LANG", "de_DE.UTF-8")), t), "21:00");
    EXPECT_EQ(QString::fromStdString(
                  at(LocaleTimeOfDay::formatter(withLocale("LC_TIME", "en_US.UTF-8")), t)),
              QLocale("en_US").toString(QTime(21, 0), QLocale::ShortFormat));
    // Every locale Qt knows: never a second, always the hour.
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const std::string name = locale.name().toStdString();
        const std::string text =
            at(LocaleTimeOfDay::formatter(withLocale("LC_ALL", name.c_str())), t);
        EXPECT_EQ(text.find("59"), std::string::npos) << name << ": " << text;
        EXPECT_NE(text, "") << name;
    }
}
