#pragma once

#include "LimitOverview.hpp"

#include <optional>
#include <QString>
#include <QWidget>

namespace vellumkite {

class LimitPeaksChart;
class TextLine;
class WeekLinesChart;

// The History window's limits: the last 7 days of 5-hour windows by their peak, the weekly
// percentage of the last 4 weeks, and what one percent of each window costs, with how many
// spans that comes from; without any reading, what will appear.
class HistoryLimits : public QWidget {
public:
    explicit HistoryLimits(int spacing, QWidget* parent);

    void sync(const std::optional<LimitOverview>& limits);

    // "One percent of the 5-hour limit: 2,190 weight · $0.0066 (42 spans)", or "…: not known
    // yet (1 span; it takes 3)".
    static QString calibrationText(const QString& window, const LimitCalibration& calibration);

private:
    QWidget* charts_;
    LimitPeaksChart* peaks_;
    WeekLinesChart* weeks_;
    TextLine* fiveHour_;
    TextLine* weekly_;
    TextLine* empty_;
};

} // namespace vellumkite
