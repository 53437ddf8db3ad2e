#include "LocaleTimeOfDay.hpp"

#include "Format.hpp"
#include "QtText.hpp"

#include <ctime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace vellumkite {

namespace {

QLocale timeLocale(const Environment& env) {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        if (auto value = env.get(name); value && !value->empty())
            return QLocale(QString::fromLatin1(value->data(), qsizetype(value->size())));
    }
    return QLocale::c();
}

// The locale's short time form without seconds, which some have (the C locale: "HH:mm:ss"): a
// reset is said to the minute. The seconds go with the separator before them.
QString hoursAndMinutes(const QLocale& locale) {
    static const QRegularExpression seconds(QStringLiteral("[^hHmaApPt']*s{1,2}"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return format;
}

TimeOfDayFormatter localFormatter(const Environment& env, bool withDay) {
    const QLocale locale = timeLocale(env);
    return [locale, format = hoursAndMinutes(locale), withDay](Instant t) {
        const auto seconds = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
        const auto tt = static_cast<std::time_t>(seconds);
        std::tm tm{};
        if (static_cast<std::int64_t>(tt) != seconds || !localtime_r(&tt, &tm))
            return std::string(Format::kNoValue);
        QString text = locale.toString(QTime(tm.tm_hour, tm.tm_min), format);
        if (withDay) // Qt counts days from Monday = 1, C from Sunday = 0
            text = locale.dayName(tm.tm_wday == 0 ? 7 : tm.tm_wday, QLocale::ShortFormat) +
                   QLatin1Char(' ') + text;
        return utf8(text);
    };
}

} // namespace

TimeOfDayFormatter LocaleTimeOfDay::formatter(const Environment& env) {
    return localFormatter(env, false);
}

TimeOfDayFormatter LocaleTimeOfDay::dayAndTime(const Environment& env) {
    return localFormatter(env, true);
}

} // namespace vellumkite
