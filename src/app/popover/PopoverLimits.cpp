#include "PopoverLimits.hpp"

#include "Layouts.hpp"
#include "LimitBar.hpp"
#include "LimitReadingsPrompt.hpp"
#include "QtText.hpp"
#include "Texts.hpp"

#include <QVBoxLayout>

namespace vellumkite {

PopoverLimits::PopoverLimits(Clock clock, int spacing, QWidget* parent) : QWidget(parent) {
    auto* l = Layouts::stack(this, spacing);
    fiveHour_ = new LimitBar(qs(Texts::kFiveHourLimit), {}, clock, this);
    fiveHour_->setObjectName(QStringLiteral("fiveHourLimit"));
    weekly_ = new LimitBar(qs(Texts::kWeeklyLimit), {}, clock, this);
    weekly_->setObjectName(QStringLiteral("weeklyLimit"));
    message_ = new LimitReadingsPrompt(this);
    message_->setObjectName(QStringLiteral("limitsMessage"));
    l->addWidget(fiveHour_);
    l->addWidget(weekly_);
    l->addWidget(message_);
}

void PopoverLimits::sync(const std::optional<Limits>& limits) {
    const bool any = limits && (limits->fiveHour || limits->sevenDay);
    if (any && limits->fiveHour)
        fiveHour_->setWindow(*limits->fiveHour);
    if (any && limits->sevenDay)
        weekly_->setWindow(*limits->sevenDay);
    fiveHour_->setVisible(any && limits->fiveHour);
    weekly_->setVisible(any && limits->sevenDay);
    // The countdowns move on with the clock even when the reading does not.
    fiveHour_->update();
    weekly_->update();
    message_->setVisible(!any);
}

} // namespace vellumkite
