#pragma once

#include "Time.hpp"

#include <QWidget>

namespace vellumkite {

class AppModel;
class LimitBar;
class TextLine;

// The popover's limits: a gauge for each window the reading has, with the time it runs out
// where that comes before its reset, or without a reading the prompt that turns the readings on.
class PopoverLimits : public QWidget {
public:
    PopoverLimits(Clock clock, int spacing, QWidget* parent);

    void sync(const AppModel& model);

private:
    LimitBar* fiveHour_;
    TextLine* fiveHourFull_;
    LimitBar* weekly_;
    TextLine* weeklyFull_;
    QWidget* message_;
};

} // namespace vellumkite
