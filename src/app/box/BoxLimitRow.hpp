#pragma once

#include "Accessible.hpp"
#include "Limits.hpp"

#include <optional>
#include <QWidget>

namespace vellumkite {

class TextLine;
class UsageBar;
struct BoxStyle;

// One limit in the floating box: its title and the percentage used, a gauge and, where the size
// has room, when it resets.
class BoxLimitRow : public QWidget, public Accessible {
public:
    // Between the title's line, the gauge and the reset time.
    static constexpr int kLineGap = 3;

    BoxLimitRow(const QString& objectName, const QString& title, QWidget* parent);

    // Shows the window, or hides the row when there is none.
    void sync(const std::optional<Limits::Window>& window, const BoxStyle& style, Instant now);

    // The row as one sentence, as the popover's gauge says it.
    QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
    QString accessibleText() const override { return spoken_; }

private:
    TextLine* title_;
    TextLine* value_;
    UsageBar* bar_;
    TextLine* resets_;
    QString spoken_;
};

} // namespace vellumkite
