#pragma once

#include <optional>
#include <QRect>

namespace vellumkite {

class WritablePreferences;

// Where the History window was last closed, and the only code that reads or writes it in the
// preferences, as "x, y, width, height".
struct HistoryGeometry {
    // Nothing when absent, not a text of four whole numbers, or of no size.
    static std::optional<QRect> load(const WritablePreferences& preferences);
    // False when the preferences refused it.
    [[nodiscard]] static bool save(WritablePreferences& preferences, const QRect& geometry);
};

} // namespace vellumkite
