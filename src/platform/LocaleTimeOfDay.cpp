#include "LocaleTimeOfDay.hpp"

#include "Format.hpp"

#include <ctime>
#include <QLocale>
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

} // namespace

TimeOfDayFormatter LocaleTimeOfDay::formatter(const Environment& env) {
    return [locale = timeLocale(env)](Instant t) {
        const auto seconds = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
        const auto tt = static_cast<std::time_t>(seconds);
        std::tm tm{};
        if (static_cast<std::int64_t>(tt) != seconds || !localtime_r(&tt, &tm))
            return std::string(Format::kNoValue);
        return locale.toString(QTime(tm.tm_hour, tm.tm_min, tm.tm_sec), QLocale::ShortFormat)
            .toStdString();
    };
}

} // namespace vellumkite
