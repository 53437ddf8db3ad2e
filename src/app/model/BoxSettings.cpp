#include "BoxSettings.hpp"

#include "CNumber.hpp"
#include "WritablePreferences.hpp"

#include <charconv>
#include <cmath>
#include <string>

namespace vellumkite {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number starts at a digit, or at a sign or point directly followed by one.
bool startsNumber(const std::string& s, std::size_t i) {
    if (isDigit(s[i]))
        return true;
    std::size_t j = i;
    if (s[j] == '-' || s[j] == '+')
        ++j;
    if (j < s.size() && s[j] == '.')
        ++j;
    return j > i && j < s.size() && isDigit(s[j]);
}

std::string shortest(qreal value) {
    if (!std::isfinite(value) || value == 0)
        return "0"; // also folds -0
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value));
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

} // namespace

BoxSettings BoxSettings::load(const WritablePreferences& preferences) {
    BoxSettings s;
    s.show = preferences.get(PreferenceKeys::showBox);
    s.size = BoxSizes::fromRaw(preferences.get(PreferenceKeys::boxSize).toStdString())
                 .value_or(BoxSize::medium);
    if (const QString corner = preferences.get(PreferenceKeys::boxTopLeft); !corner.isEmpty())
        s.topLeft = parsePoint(corner);
    return s;
}

bool BoxSettings::saveShow(WritablePreferences& preferences) const {
    return preferences.set(PreferenceKeys::showBox, show);
}

bool BoxSettings::saveSize(WritablePreferences& preferences) const {
    return preferences.set(PreferenceKeys::boxSize, QString::fromLatin1(BoxSizes::raw(size)));
}

bool BoxSettings::saveTopLeft(WritablePreferences& preferences) const {
    return topLeft ? preferences.set(PreferenceKeys::boxTopLeft, pointString(*topLeft))
                   : preferences.remove(QString::fromLatin1(PreferenceKeys::boxTopLeft.name));
}

QPointF BoxSettings::parsePoint(QStringView text) {
    const std::string s = text.toString().toStdString();
    qreal numbers[2] = {0, 0};
    int found = 0;
    for (std::size_t i = 0; i < s.size() && found < 2;) {
        if (!startsNumber(s, i)) {
            ++i;
            continue;
        }
        const std::size_t start = s[i] == '+' ? i + 1 : i;
        const auto number = CNumber::parsePrefix(std::string_view(s).substr(start));
        if (!number) {
            ++i;
            continue;
        }
        // A number too large to hold reads as nothing rather than as infinity.
        numbers[found++] = std::isfinite(number->value) ? number->value : 0;
        i = start + number->length;
    }
    return {numbers[0], numbers[1]};
}

QString BoxSettings::pointString(const QPointF& point) {
    std::string text = "{";
    text += shortest(point.x());
    text += ", ";
    text += shortest(point.y());
    text += '}';
    return QString::fromStdString(text);
}

} // namespace vellumkite
