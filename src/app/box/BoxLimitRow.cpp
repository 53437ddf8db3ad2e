#include "BoxLimitRow.hpp"

#include "BoxStyle.hpp"
#include "Format.hpp"
#include "Gauge.hpp"
#include "Layouts.hpp"
#include "LimitBar.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"
#include "UsageBar.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vellumkite {

BoxLimitRow::BoxLimitRow(const QString& objectName, const QString& title, QWidget* parent)
    : QWidget(parent) {
    setObjectName(objectName);
    auto* lines = Layouts::stack(this, kLineGap);
    auto* top = new QWidget(this);
    auto* r = Layouts::row(top);
    title_ = new TextLine(top);
    title_->setText(title);
    value_ = new TextLine(top);
    value_->setMonoDigits(true);
    r->addWidget(title_);
    r->addStretch(1);
    r->addWidget(value_);
    lines->addWidget(top);
    bar_ = new UsageBar(0, 6, this);
    lines->addWidget(bar_);
    resets_ = new TextLine(this, TextLine::Role::secondary);
    resets_->setMonoDigits(true);
    lines->addWidget(resets_);
}

void BoxLimitRow::sync(const std::optional<Limits::Window>& w, const BoxStyle& s, Instant now) {
    setVisible(w.has_value());
    title_->setTextFont(Theme::systemFont(s.bodyPoints));
    value_->setTextFont(Theme::systemFont(s.bodyPoints, QFont::DemiBold));
    resets_->setTextFont(Theme::systemFont(s.smallPoints));
    bar_->setBarHeight(s.gaugeHeight);
    resets_->setVisible(s.resetLines);
    if (!w)
        return;
    value_->setText(QString::fromStdString(Format::percent(w->usedPercent)) +
                    QStringLiteral(" used"));
    // From the unrounded reading, like the gauge: 79.6 shows 80 in orange.
    value_->setLevel(Gauge::level(w->usedPercent));
    bar_->setPercent(w->usedPercent);
    resets_->setText(QStringLiteral("Resets in ") +
                     QString::fromStdString(Format::until(w->resetsAt, now)));
    spoken_ = LimitBar::spokenText(title_->text(), *w, now);
    announce(this);
}

} // namespace vellumkite
