#include "PopoverLimits.hpp"

#include "AppModel.hpp"
#include "Layouts.hpp"
#include "LimitBar.hpp"
#include "LimitReadingsPrompt.hpp"
#include "QtText.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

// "full at 4:10 PM" under the gauge, red, in the way of a tip's warning.
TextLine* fullLine(const QString& name, QWidget* parent) {
    auto* line = new TextLine({}, Theme::caption(), TextLine::Role::secondary, parent);
    line->setObjectName(name);
    line->setMonoDigits(true);
    line->setAlignRight(true);
    line->setLevel(Level::alert);
    return line;
}

// The gauge and the line under it, as one row of the stack.
QWidget* gaugeRow(LimitBar* bar, TextLine* full, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* l = Layouts::stack(row, 2);
    bar->setParent(row);
    full->setParent(row);
    l->addWidget(bar);
    l->addWidget(full);
    return row;
}

void showFull(TextLine* line, const AppModel& model, const char* window) {
    const auto& all = model.projections();
    const auto p =
        std::find_if(all.begin(), all.end(), [&](const auto& x) { return x.window == window; });
    const bool show = p != all.end() && p->fullAt;
    if (show)
        line->setText(qs(Texts::fullAt(*p->fullAt, [&](Instant t) { return model.timeOfDay(t); })));
    line->setVisible(show);
}

} // namespace

PopoverLimits::PopoverLimits(Clock clock, int spacing, QWidget* parent) : QWidget(parent) {
    auto* l = Layouts::stack(this, spacing);
    fiveHour_ = new LimitBar(qs(Texts::kFiveHourLimit), {}, clock, this);
    fiveHour_->setObjectName(QStringLiteral("fiveHourLimit"));
    fiveHourFull_ = fullLine(QStringLiteral("fiveHourFull"), this);
    weekly_ = new LimitBar(qs(Texts::kWeeklyLimit), {}, clock, this);
    weekly_->setObjectName(QStringLiteral("weeklyLimit"));
    weeklyFull_ = fullLine(QStringLiteral("weeklyFull"), this);
    message_ = new LimitReadingsPrompt(this);
    message_->setObjectName(QStringLiteral("limitsMessage"));
    l->addWidget(gaugeRow(fiveHour_, fiveHourFull_, this));
    l->addWidget(gaugeRow(weekly_, weeklyFull_, this));
    l->addWidget(message_);
}

void PopoverLimits::sync(const AppModel& model) {
    const auto& limits = model.limits();
    const bool any = limits && (limits->fiveHour || limits->sevenDay);
    if (any && limits->fiveHour)
        fiveHour_->setWindow(*limits->fiveHour);
    if (any && limits->sevenDay)
        weekly_->setWindow(*limits->sevenDay);
    fiveHour_->parentWidget()->setVisible(any && limits->fiveHour);
    weekly_->parentWidget()->setVisible(any && limits->sevenDay);
    showFull(fiveHourFull_, model, "five_hour");
    showFull(weeklyFull_, model, "seven_day");
    // The countdowns move on with the clock even when the reading does not.
    fiveHour_->update();
    weekly_->update();
    message_->setVisible(!any);
}

} // namespace vellumkite
