#include "PopoverLive.hpp"

#include "Layouts.hpp"
#include "QtText.hpp"
#include "Sparkline.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

PopoverLive::PopoverLive(int spacing, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("liveSection"));
    auto* l = Layouts::stack(this, spacing);
    auto* header = new QWidget(this);
    auto* r = Layouts::row(header);
    r->addWidget(
        new TextLine(qs(Texts::kLive), Theme::headline(), TextLine::Role::primary, header));
    r->addStretch(1);
    rate_ = new TextLine({}, Theme::caption(), TextLine::Role::secondary, header);
    rate_->setMonoDigits(true);
    r->addWidget(rate_);
    l->addWidget(header);
    sparkline_ = new Sparkline({}, this);
    sparkline_->setFixedHeight(kSparklineHeight);
    l->addWidget(sparkline_);
}

void PopoverLive::sync(double burnPerMin, const std::vector<double>& sparkline) {
    rate_->setText(qs(Texts::burnRate(burnPerMin)));
    sparkline_->setValues(sparkline);
}

} // namespace vellumkite
