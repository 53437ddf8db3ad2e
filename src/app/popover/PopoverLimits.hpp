#pragma once

#include "Limits.hpp"
#include "Time.hpp"

#include <optional>
#include <QWidget>

namespace vellumkite {

class LimitBar;

// The popover's limits: a gauge for each window the reading has, or without a reading the
// prompt that turns the readings on.
class PopoverLimits : public QWidget {
public:
    PopoverLimits(Clock clock, int spacing, QWidget* parent);

    void sync(const std::optional<Limits>& limits);

private:
    LimitBar* fiveHour_;
    LimitBar* weekly_;
    QWidget* message_;
};

} // namespace vellumkite
