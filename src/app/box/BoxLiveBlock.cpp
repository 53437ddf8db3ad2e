#include "BoxLiveBlock.hpp"

#include "BoxStyle.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "Sparkline.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

BoxLiveBlock::BoxLiveBlock(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("liveBlock"));
    auto* l = Layouts::stack(this, kGap);
    auto* header = new QWidget(this);
    auto* r = Layouts::row(header);
    label_ = new TextLine(header, TextLine::Role::secondary);
    label_->setText(QStringLiteral("Using now"));
    rate_ = new TextLine(header);
    rate_->setMonoDigits(true);
    r->addWidget(label_);
    r->addStretch(1);
    r->addWidget(rate_);
    l->addWidget(header);
    sparkline_ = new Sparkline({}, this);
    l->addWidget(sparkline_);
}

void BoxLiveBlock::sync(double burnPerMin, const std::vector<double>& sparkline,
                        const BoxStyle& s) {
    setVisible(s.live);
    label_->setTextFont(Theme::systemFont(s.smallPoints));
    rate_->setTextFont(Theme::systemFont(s.smallPoints, QFont::Medium));
    // In the popover's words.
    rate_->setText(QString::fromStdString(Format::rate(burnPerMin)) + QStringLiteral("/min"));
    sparkline_->setFixedHeight(std::max(1, s.sparklineHeight));
    sparkline_->setValues(sparkline);
}

} // namespace vellumkite
