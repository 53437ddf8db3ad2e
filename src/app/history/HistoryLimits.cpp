#include "HistoryLimits.hpp"

#include "Format.hpp"
#include "Layouts.hpp"
#include "LimitPeaksChart.hpp"
#include "QtText.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"
#include "WeekLinesChart.hpp"

#include <QGridLayout>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

TextLine* caption(const QString& text, QWidget* parent) {
    auto* line = new TextLine(text, Theme::caption(), TextLine::Role::secondary, parent);
    line->setFit(TextLine::Fit::wrap);
    line->setMonoDigits(true);
    return line;
}

} // namespace

QString HistoryLimits::calibrationText(const QString& window, const LimitCalibration& c) {
    const QString head = QStringLiteral("One percent of the %1 limit: ").arg(window);
    const QString spans = QStringLiteral("%1 %2").arg(c.spans).arg(
        c.spans == 1 ? QStringLiteral("span") : QStringLiteral("spans"));
    if (!c.known())
        return head + QStringLiteral("not known yet (%1; it takes %2)")
                          .arg(spans)
                          .arg(LimitCalibration::kMinSpans);
    return head + QStringLiteral("%1 weight \u00b7 %2 (%3)")
                      .arg(qs(Format::grouped(Format::rounded(*c.weightPerPercent()).value_or(0))),
                           qs(Format::smallDollars(c.costPerPercent())), spans);
}

HistoryLimits::HistoryLimits(int spacing, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("limitsSection"));
    auto* l = Layouts::stack(this, spacing);
    l->addWidget(
        new TextLine(QStringLiteral("Limits"), Theme::headline(), TextLine::Role::primary, this));
    charts_ = new QWidget(this);
    auto* grid = new QGridLayout(charts_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(spacing * 2);
    grid->setVerticalSpacing(4);
    grid->addWidget(caption(QStringLiteral("5-hour windows, last 7 days, by their peak"), charts_),
                    0, 0);
    grid->addWidget(
        caption(QStringLiteral("Weekly limit, last 4 weeks (this week strongest)"), charts_), 0, 1);
    peaks_ = new LimitPeaksChart(charts_);
    peaks_->setObjectName(QStringLiteral("fiveHourPeaks"));
    weeks_ = new WeekLinesChart(charts_);
    weeks_->setObjectName(QStringLiteral("weeklyLines"));
    grid->addWidget(peaks_, 1, 0);
    grid->addWidget(weeks_, 1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    l->addWidget(charts_);
    fiveHour_ = caption({}, this);
    fiveHour_->setObjectName(QStringLiteral("fiveHourCost"));
    weekly_ = caption({}, this);
    weekly_->setObjectName(QStringLiteral("weeklyCost"));
    l->addWidget(fiveHour_);
    l->addWidget(weekly_);
    empty_ = caption(QStringLiteral("No limit readings yet. With the status line on, every "
                                    "5-hour window and week shows here, and what one percent "
                                    "of each costs."),
                     this);
    l->addWidget(empty_);
}

void HistoryLimits::sync(const std::optional<LimitOverview>& limits) {
    const bool any = limits && !limits->empty();
    charts_->setVisible(any);
    fiveHour_->setVisible(any);
    weekly_->setVisible(any);
    empty_->setVisible(!any);
    if (!any)
        return;
    peaks_->setOverview(*limits);
    weeks_->setOverview(*limits);
    fiveHour_->setText(calibrationText(QStringLiteral("5-hour"), limits->fiveHourCalibration));
    weekly_->setText(calibrationText(QStringLiteral("weekly"), limits->weeklyCalibration));
}

} // namespace vellumkite
