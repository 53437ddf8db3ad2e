#include "FloatingBoxView.hpp"

#include "AppModel.hpp"
#include "BoxBusiest.hpp"
#include "BoxChatRow.hpp"
#include "BoxHeader.hpp"
#include "BoxLimitRow.hpp"
#include "BoxLiveBlock.hpp"
#include "BoxStyle.hpp"
#include "Layouts.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "WindowDrag.hpp"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

// The box stands for a translucent material; nearly opaque reads best over busy windows.
constexpr qreal kBackgroundOpacity = 0.96;

} // namespace

FloatingBoxView::FloatingBoxView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    layout_ = Layouts::stack(this, 10);
    header_ = new BoxHeader(model_, this);
    layout_->addWidget(header_);
    limitRows_ = {
        new BoxLimitRow(QStringLiteral("fiveHourRow"), QStringLiteral("5-hour limit"), this),
        new BoxLimitRow(QStringLiteral("weeklyRow"), QStringLiteral("Weekly limit"), this)};
    for (BoxLimitRow* row : limitRows_)
        layout_->addWidget(row);
    noReading_ = new TextLine(this, TextLine::Role::secondary);
    noReading_->setObjectName(QStringLiteral("noReading"));
    noReading_->setText(QStringLiteral("No limit reading yet (turn on the status line)."));
    noReading_->setFit(TextLine::Fit::wrap);
    layout_->addWidget(noReading_);
    chatRow_ = new BoxChatRow(this);
    layout_->addWidget(chatRow_);
    live_ = new BoxLiveBlock(this);
    layout_->addWidget(live_);
    tip_ = new TipCard({}, true, this);
    tip_->setObjectName(QStringLiteral("tipCard"));
    layout_->addWidget(tip_);
    busiest_ = new BoxBusiest(this);
    layout_->addWidget(busiest_);

    connect(new WindowDrag(this), &WindowDrag::finished, this, &FloatingBoxView::dragFinished);
    connect(&model_, &AppModel::changed, this, &FloatingBoxView::scheduleSync);
    sync();
}

FloatingBoxView::~FloatingBoxView() = default;

QToolButton* FloatingBoxView::sizeButton() const {
    return header_->sizeButton();
}

QToolButton* FloatingBoxView::closeButton() const {
    return header_->closeButton();
}

std::unique_ptr<QMenu> FloatingBoxView::makeContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const bool fallback = fallback_.needed && fallback_.open && fallback_.needed();
    if (fallback)
        connect(menu->addAction(QStringLiteral("Open Vellumkite")), &QAction::triggered, this,
                [open = fallback_.open] { open(); });
    connect(menu->addAction(QStringLiteral("History")), &QAction::triggered, &model_,
            &AppModel::openHistory);
    menu->addSeparator();
    BoxHeader::addSizeItems(menu.get(), model_);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Hide box")), &QAction::triggered, this,
            [this] { model_.setShowBox(false); });
    if (fallback) {
        menu->addSeparator();
        connect(menu->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
                [] { QCoreApplication::quit(); });
    }
    return menu;
}

void FloatingBoxView::scheduleSync() {
    sync_.request();
}

void FloatingBoxView::sync() {
    const BoxStyle s = BoxStyle::of(model_.boxSize());
    setFixedWidth(s.width);
    layout_->setContentsMargins(s.padding, s.padding, s.padding, s.padding);
    layout_->setSpacing(s.spacing);
    header_->sync(s);

    const auto& limits = model_.limits();
    const bool any = limits && (limits->fiveHour || limits->sevenDay);
    const Instant now = model_.now();
    limitRows_[0]->sync(any ? limits->fiveHour : std::nullopt, s, now);
    limitRows_[1]->sync(
        any && (s.weeklyAlways || !limits->fiveHour) ? limits->sevenDay : std::nullopt, s, now);
    noReading_->setTextFont(Theme::systemFont(s.smallPoints));
    noReading_->setVisible(!any && s.noReadingMessage);

    chatRow_->sync(model_, s);
    live_->sync(model_.burnPerMin(), model_.sparkline(), s);
    const auto& tip = model_.tip();
    if (tip)
        tip_->setTip(*tip);
    tip_->setCompact(s.compactTip);
    tip_->setVisible(s.tip && tip.has_value());
    busiest_->sync(model_.topChats(), model_.todayWeight(), now, s);

    // Hidden rows and changed fonts must count before the window asks for the new size.
    Layouts::refresh(this);
    emit synced();
}

QSize FloatingBoxView::fittingSize() const {
    const int w = BoxStyle::of(model_.boxSize()).width;
    const int h = layout_->hasHeightForWidth() ? layout_->totalHeightForWidth(w)
                                               : layout_->totalSizeHint().height();
    return {w, h};
}

void FloatingBoxView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Theme::paintPanel(painter, *this, kCornerRadius, kBackgroundOpacity);
}

void FloatingBoxView::contextMenuEvent(QContextMenuEvent* event) {
    const auto menu = makeContextMenu();
    menu->exec(event->globalPos());
}

} // namespace vellumkite
