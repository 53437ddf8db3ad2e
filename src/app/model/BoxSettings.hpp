#pragma once

#include "BoxSize.hpp"

#include <optional>
#include <QPointF>
#include <QString>
#include <QStringView>

namespace vellumkite {

class WritablePreferences;

// The floating box's settings, and the only code that reads or writes them in the preferences.
struct BoxSettings {
    bool show = true;
    BoxSize size = BoxSize::medium;
    std::optional<QPointF> topLeft; // where the user last left the box; none before that

    // Only values of the stored type count: a text "no" leaves the box shown, a size other than
    // one of the raw values (case included) reads as medium.
    static BoxSettings load(const WritablePreferences& preferences);

    // Each stores its one field; false when the preferences refused it.
    [[nodiscard]] bool saveShow(WritablePreferences& preferences) const;
    [[nodiscard]] bool saveSize(WritablePreferences& preferences) const;
    [[nodiscard]] bool saveTopLeft(WritablePreferences& preferences) const;

    // The stored "{x, y}" form of a corner. Reading is lenient: the first two numbers found are
    // taken and anything else is skipped; a text without two finite numbers reads as {0, 0}.
    static QPointF parsePoint(QStringView text);
    static QString pointString(const QPointF& point);
};

} // namespace vellumkite
