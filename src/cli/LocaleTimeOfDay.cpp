#include "LocaleTimeOfDay.hpp"

#include "Format.hpp"

#include <QDateTime>
#include <QLocale>

namespace vellumkite {

TimeOfDayFormatter LocaleTimeOfDay::formatter() {
    return [locale = QLocale::system()](Instant t) {
        const auto ms = std::chrono::floor<std::chrono::milliseconds>(t).time_since_epoch().count();
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
        if (!local.isValid())
            return std::string(Format::kNoValue);
        return locale.toString(local.time(), QLocale::ShortFormat).toStdString();
    };
}

} // namespace vellumkite
