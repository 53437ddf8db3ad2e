#include "HistoryWindow.hpp"

#include "Divider.hpp"
#include "Format.hpp"
#include "HistoryChart.hpp"
#include "HistoryLimits.hpp"
#include "Layouts.hpp"
#include "QtText.hpp"
#include "SegmentedControl.hpp"
#include "ShareTable.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

namespace vellumkite {

namespace {

constexpr int kPadding = 16;
constexpr int kSpacing = 12;
// The size the window was drawn for.
constexpr QSize kDrawnFor(640, 480);

QString weightText(double w) {
    return qs(Format::tokens(Format::rounded(w).value_or(0)));
}

QString costText(const std::optional<double>& c) {
    return qs(Format::dollars(c));
}

QString unpricedText(std::size_t models) {
    return models == 1 ? QStringLiteral("1 model without a price")
                       : QStringLiteral("%1 models without a price").arg(models);
}

// The cost, or the part with a price and how many models have none.
QString costText(const HistoryOverview::Span& span) {
    if (span.cost || span.unpricedModels == 0)
        return costText(span.cost);
    return QStringLiteral("%1 + %2").arg(costText(span.pricedCost),
                                         unpricedText(span.unpricedModels));
}

QString changeText(const std::optional<double>& percent) {
    if (!percent || !std::isfinite(*percent))
        return qs(std::string(Format::kNoValue));
    const auto n = Format::rounded(*percent).value_or(0);
    return (n > 0 ? QStringLiteral("+") : QString()) + QString::number(n) + QStringLiteral("%");
}

TextLine* line(const QString& text, const QFont& font, TextLine::Role role, QWidget* parent) {
    return new TextLine(text, font, role, parent);
}

// A small square of a family's colour before its name.
class Swatch : public QWidget, public Accessible {
public:
    Swatch(HistoryOverview::Family family, QWidget* parent) : QWidget(parent), family_(family) {
        setFixedSize(10, 10);
    }

    QAccessible::Role accessibleRole() const override { return QAccessible::Graphic; }
    QString accessibleText() const override {
        return QString::fromUtf8(HistoryOverview::nameOf(family_).data()) +
               QStringLiteral(" colour");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(HistoryChart::familyColor(family_, palette()));
        p.drawRoundedRect(QRectF(rect()), 2, 2);
    }

private:
    HistoryOverview::Family family_;
};

} // namespace

HistoryWindow::HistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Vellumkite History"));
    setObjectName(QStringLiteral("historyWindow"));
    setFocusPolicy(Qt::StrongFocus);
    // Everything scrolls when the window is smaller than its content.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setFocusPolicy(Qt::NoFocus);
    content_ = new QWidget;
    auto* outer = new QVBoxLayout(content_);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    outer->setSpacing(kSpacing);

    auto* header = new QHBoxLayout;
    header->addWidget(
        line(QStringLiteral("Last 30 days"), Theme::title3(), TextLine::Role::primary, content_));
    header->addStretch(1);
    machines_ = new SegmentedControl(
        {QStringLiteral("All machines"), QStringLiteral("This machine")}, content_);
    machines_->setObjectName(QStringLiteral("machines"));
    machines_->setAccessibleName(QStringLiteral("Machines"));
    machines_->setCurrentIndex(0);
    machines_->setVisible(false);
    header->addWidget(machines_);
    measure_ = new SegmentedControl({QStringLiteral("Weight"), QStringLiteral("Cost")}, content_);
    measure_->setObjectName(QStringLiteral("measure"));
    measure_->setAccessibleName(QStringLiteral("Measure"));
    measure_->setCurrentIndex(0);
    header->addWidget(measure_);
    outer->addLayout(header);

    // Everything that needs figures; the empty state takes its place without any.
    figures_ = new QWidget(content_);
    auto* body = new QVBoxLayout(figures_);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(kSpacing);
    chart_ = new HistoryChart(figures_);
    body->addWidget(chart_, 1);

    auto* legend = new QHBoxLayout;
    legend->setSpacing(6);
    for (std::size_t f = 0; f < HistoryOverview::kFamilies; ++f) {
        const auto family = static_cast<HistoryOverview::Family>(f);
        legend->addWidget(new Swatch(family, figures_));
        legend->addWidget(line(qs(std::string(HistoryOverview::nameOf(family))), Theme::caption(),
                               TextLine::Role::secondary, figures_));
        legend->addSpacing(8);
    }
    legend->addStretch(1);
    legendMedian_ = line({}, Theme::caption(), TextLine::Role::secondary, figures_);
    legendMedian_->setMonoDigits(true);
    legend->addWidget(legendMedian_);
    body->addLayout(legend);
    body->addWidget(new Divider(figures_));

    auto* week = new QGridLayout;
    week->setHorizontalSpacing(kSpacing);
    week->setVerticalSpacing(4);
    week->addWidget(
        line(QStringLiteral("This week"), Theme::headline(), TextLine::Role::primary, figures_), 0,
        0);
    weekFigures_ = line({}, Theme::callout(), TextLine::Role::primary, figures_);
    weekFigures_->setMonoDigits(true);
    week->addWidget(weekFigures_, 0, 1);
    weekChange_ = line({}, Theme::caption(), TextLine::Role::secondary, figures_);
    weekChange_->setMonoDigits(true);
    weekChange_->setFit(TextLine::Fit::wrap);
    week->addWidget(weekChange_, 0, 2);
    week->setColumnStretch(2, 1);
    body->addLayout(week);
    unpriced_ = line({}, Theme::caption(), TextLine::Role::secondary, figures_);
    unpriced_->setObjectName(QStringLiteral("unpriced"));
    unpriced_->setFit(TextLine::Fit::wrap);
    body->addWidget(unpriced_);
    paceTitle_ = line({}, Theme::callout(), TextLine::Role::primary, figures_);
    paceTitle_->setFit(TextLine::Fit::wrap);
    paceText_ = line({}, Theme::caption(), TextLine::Role::secondary, figures_);
    paceText_->setFit(TextLine::Fit::wrap);
    body->addWidget(paceTitle_);
    body->addWidget(paceText_);
    body->addWidget(new Divider(figures_));

    monthTitle_ = line({}, Theme::headline(), TextLine::Role::primary, figures_);
    body->addWidget(monthTitle_);
    auto* month = new QHBoxLayout;
    month->setSpacing(kPadding * 2);
    projects_ = new ShareTable(ShareTable::Kind::projects, figures_);
    models_ = new ShareTable(ShareTable::Kind::models, figures_);
    month->addWidget(projects_, 1);
    month->addWidget(models_, 1);
    body->addLayout(month);
    // The divider and the limits, as one part.
    limitsPart_ = new QWidget(figures_);
    auto* part = new QVBoxLayout(limitsPart_);
    part->setContentsMargins(0, 0, 0, 0);
    part->setSpacing(kSpacing);
    part->addWidget(new Divider(limitsPart_));
    limits_ = new HistoryLimits(kSpacing / 2, limitsPart_);
    part->addWidget(limits_);
    body->addWidget(limitsPart_);
    outer->addWidget(figures_, 1);

    emptyState_ = new QWidget(content_);
    {
        auto* l = new QVBoxLayout(emptyState_);
        l->setContentsMargins(0, kPadding * 3, 0, kPadding * 3);
        l->setSpacing(6);
        l->addStretch(1);
        auto* title = line(QStringLiteral("No history yet"), Theme::headline(),
                           TextLine::Role::primary, emptyState_);
        auto* text = line(QStringLiteral("Each day you use Claude gets a bar here, with this "
                                         "week's pace and where the month went. Vellumkite keeps "
                                         "it from your logs, also after Claude deletes them."),
                          Theme::callout(), TextLine::Role::secondary, emptyState_);
        text->setFit(TextLine::Fit::wrap);
        text->setFixedWidth(Theme::scaledWidth(360));
        l->addWidget(title, 0, Qt::AlignHCenter);
        // A row with stretches, not an alignment, so that the text's height follows its width.
        auto* centred = new QHBoxLayout;
        centred->addStretch(1);
        centred->addWidget(text);
        centred->addStretch(1);
        l->addLayout(centred);
        l->addStretch(1);
    }
    outer->addWidget(emptyState_, 1);

    statusLine_ = line({}, Theme::caption(), TextLine::Role::secondary, content_);
    statusLine_->setObjectName(QStringLiteral("historyStatus"));
    statusLine_->setMonoDigits(true);
    statusLine_->setFit(TextLine::Fit::wrap);
    outer->addWidget(statusLine_);
    scroll_->setWidget(content_);
    frame->addWidget(scroll_);

    connect(measure_, &SegmentedControl::activated, this, [this](int index) {
        chart_->setMeasure(index == 1 ? HistoryChart::Measure::cost
                                      : HistoryChart::Measure::weight);
        if (overview_)
            legendMedian_->setText(QStringLiteral("Median day ") +
                                   (index == 1 ? qs(Format::dollars(overview_->medianCost))
                                               : weightText(overview_->medianWeight)));
    });
    connect(machines_, &SegmentedControl::activated, this,
            [this](int index) { emit allMachinesChosen(index == 0); });
    setHistory(std::nullopt, {});
}

QSize HistoryWindow::sizeHint() const {
    // The size the window was drawn for, grown with the font, and never narrower than a row
    // that must not be cut.
    const int w =
        std::max(Theme::scaledWidth(kDrawnFor.width()), content_->minimumSizeHint().width());
    QLayout* l = content_->layout();
    int natural = l->hasHeightForWidth() ? l->totalHeightForWidth(w) : l->totalSizeHint().height();
    // The limits below the month are scrolled to: the window opens as large as without them.
    if (limitsPart_->isVisibleTo(content_)) {
        const int inner = w - 2 * kPadding;
        natural -= (limitsPart_->hasHeightForWidth() ? limitsPart_->heightForWidth(inner)
                                                     : limitsPart_->sizeHint().height()) +
                   kSpacing;
    }
    return {w, std::max(Theme::scaledWidth(kDrawnFor.height()), natural)};
}

QString HistoryWindow::statusText() const {
    if (!status_.available)
        return qs(status_.message);
    if (status_.import)
        return QStringLiteral("Reading older logs\u2026 %1")
            .arg(qs(Format::percent(*status_.import * 100)));
    return {};
}

void HistoryWindow::setHistory(const std::optional<HistoryOverview>& overview,
                               const Status& status) {
    overview_ = overview;
    status_ = status;
    const bool hasFigures = overview_ && !overview_->empty();
    figures_->setVisible(hasFigures);
    emptyState_->setVisible(!hasFigures);
    measure_->setEnabled(hasFigures);
    // Offered while there is a choice; kept while this machine's alone is shown.
    machines_->setVisible(overview_ &&
                          (overview_->otherMachines > 0 || machines_->currentIndex() == 1));
    statusLine_->setText(statusText());
    statusLine_->setVisible(!statusLine_->text().isEmpty());
    if (hasFigures) {
        const auto& o = *overview_;
        chart_->setDays(o.days, o.medianWeight, o.medianCost);
        const bool cost = measure_->currentIndex() == 1;
        legendMedian_->setText(
            QStringLiteral("Median day ") +
            (cost ? qs(Format::dollars(o.medianCost)) : weightText(o.medianWeight)));
        weekFigures_->setText(QStringLiteral("%1 weight \u00b7 %2")
                                  .arg(weightText(o.thisWeek.weight), costText(o.thisWeek)));
        weekChange_->setText(QStringLiteral("%1 weight, %2 cost against last week at this point "
                                            "(%3 \u00b7 %4)")
                                 .arg(changeText(o.weightChange), changeText(o.costChange),
                                      weightText(o.lastWeek.weight), costText(o.lastWeek)));
        QStringList unpriced;
        for (const auto& m : o.unpricedModels)
            unpriced << qs(m);
        unpriced_->setVisible(!unpriced.isEmpty());
        unpriced_->setText(
            QStringLiteral("%1 (%2): costs show the part with a price. Add theirs "
                           "with \"vellumkite-cli prices import FILE\".")
                .arg(unpricedText(o.unpricedModels.size()), unpriced.join(QStringLiteral(", "))));
        paceTitle_->setVisible(o.pace.has_value());
        paceText_->setVisible(o.pace.has_value());
        if (o.pace) {
            paceTitle_->setText(qs(o.pace->title));
            paceTitle_->setLevel(o.pace->beforeReset ? std::optional(Level::warn) : std::nullopt);
            paceText_->setText(qs(o.pace->text));
        }
        const QDate month = QDate::fromString(qs(o.monthName), QStringLiteral("yyyy-MM"));
        monthTitle_->setText(month.isValid()
                                 ? QLocale().toString(month, QStringLiteral("MMMM yyyy"))
                                 : qs(o.monthName));
        projects_->setShares(o.topProjects);
        models_->setShares(o.topModels);
        limits_->sync(o.limits);
    }
    Layouts::refresh(this);
}

bool HistoryWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        break;
    case QEvent::Show:
        // The window takes the keys (Escape), so that no control wears a focus ring at first.
        setFocus(Qt::OtherFocusReason);
        // Tools that list the program's windows (the demo's report) know it by this name.
        if (QWindow* handle = windowHandle())
            handle->setObjectName(QStringLiteral("history"));
        emit visibilityChanged(true);
        break;
    case QEvent::Hide:
        emit visibilityChanged(false);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

} // namespace vellumkite
