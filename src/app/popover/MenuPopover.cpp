#include "MenuPopover.hpp"

#include "AppModel.hpp"
#include "Divider.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "PopoverChat.hpp"
#include "PopoverFooter.hpp"
#include "PopoverLimits.hpp"
#include "PopoverLive.hpp"
#include "PopoverSettings.hpp"
#include "PopoverShareList.hpp"
#include "QtText.hpp"
#include "Texts.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"

#include <algorithm>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vellumkite {

MenuPopover::MenuPopover(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* outer = Layouts::stack(this, 0);

    // The sections scroll when the screen is too short for them.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("sections"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    sections_ = new QWidget;
    auto* body = Layouts::stack(sections_, kSpacing);
    body->setContentsMargins(kPadding, kPadding, kPadding, kSpacing);

    limits_ = new PopoverLimits([m = &model_] { return m->now(); }, kSpacing, sections_);
    body->addWidget(limits_);
    body->addWidget(new Divider(sections_));

    // This chat, and the tip right under it.
    chat_ = new PopoverChat(kSectionSpacing, sections_);
    body->addWidget(chat_);
    tip_ = new TipCard({}, false, sections_);
    tip_->setObjectName(QStringLiteral("tipCard"));
    body->addWidget(tip_);
    body->addWidget(new Divider(sections_));

    live_ = new PopoverLive(kSectionSpacing, sections_);
    body->addWidget(live_);
    body->addWidget(new Divider(sections_));

    top_ = new PopoverShareList({.heading = qs(Texts::kTopChats),
                                 .empty = qs(Texts::kNoTopChats),
                                 .rowObjectName = QStringLiteral("topRow")},
                                static_cast<int>(Snapshot::kTopChats), kSectionSpacing, sections_);
    top_->setObjectName(QStringLiteral("topSection"));
    body->addWidget(top_);
    body->addWidget(new Divider(sections_));

    tools_ =
        new PopoverShareList({.heading = qs(Texts::kToolEaters),
                              .empty = qs(Texts::kNoToolEaters),
                              .note = qs(Texts::kToolNote),
                              .namesInFull = true,
                              .rowObjectName = QStringLiteral("toolRow"),
                              .noteObjectName = QStringLiteral("toolNote")},
                             static_cast<int>(Snapshot::kToolEaters), kSectionSpacing, sections_);
    tools_->setObjectName(QStringLiteral("toolSection"));
    body->addWidget(tools_);
    scroll_->setWidget(sections_);
    // The panel's own background shows through.
    scroll_->viewport()->setAutoFillBackground(false);
    sections_->setAutoFillBackground(false);
    outer->addWidget(scroll_, 1);

    // Always in view: the settings and the way to History and Quit.
    bottom_ = new QWidget(this);
    auto* tail = Layouts::stack(bottom_, kSpacing);
    tail->setContentsMargins(kPadding, 0, kPadding, kPadding);
    tail->addWidget(new Divider(bottom_));
    settings_ = new PopoverSettings(model_, kSpacing, bottom_);
    tail->addWidget(settings_);
    auto* footer = new PopoverFooter(bottom_);
    connect(footer, &PopoverFooter::historyClicked, this, [this] {
        emit historyClicked();
        model_.openHistory();
    });
    tail->addWidget(footer);
    outer->addWidget(bottom_);

    setFixedWidth(contentWidth());
    connect(&model_, &AppModel::changed, this, &MenuPopover::scheduleSync);
    sync();
}

int MenuPopover::contentWidth() const {
    // As wide as the font asks, and wide enough for every row that must not be cut.
    const int least =
        std::max(sections_->minimumSizeHint().width(), bottom_->minimumSizeHint().width());
    return std::max(Theme::scaledWidth(kWidth), least);
}

int MenuPopover::naturalHeight() const {
    QLayout* body = sections_->layout();
    const int w = width() > 0 ? width() : contentWidth();
    const int sections =
        body->hasHeightForWidth() ? body->totalHeightForWidth(w) : body->totalSizeHint().height();
    return sections + bottom_->sizeHint().height();
}

void MenuPopover::setHeightLimit(int height) {
    heightLimit_ = std::max(0, height);
    updateGeometry();
}

bool MenuPopover::scrolls() const {
    return heightLimit_ > 0 && naturalHeight() > heightLimit_;
}

QSize MenuPopover::sizeHint() const {
    // The scroll bar only where the sections do not fit; the scroll area's own guess may show
    // one that scrolls by a pixel or two.
    scroll_->setVerticalScrollBarPolicy(scrolls() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    const int natural = naturalHeight();
    return {contentWidth(), heightLimit_ > 0 ? std::min(natural, heightLimit_) : natural};
}

void MenuPopover::scheduleSync() {
    sync_.request();
}

void MenuPopover::sync() {
    limits_->sync(model_);
    chat_->sync(model_);
    const auto& tip = model_.tip();
    if (tip)
        tip_->setTip(*tip);
    tip_->setVisible(tip.has_value());
    live_->sync(model_.burnPerMin(), model_.sparkline());
    syncLists();
    settings_->sync();
    Layouts::refresh(this);
    setFixedWidth(contentWidth());
    updateGeometry();
    emit synced();
}

void MenuPopover::syncLists() {
    const double total = model_.todayWeight();
    const Instant now = model_.now();
    QList<PopoverShareList::Row> rows;
    double listed = 0;
    for (const ChatSummary& c : model_.topChats()) {
        listed += c.weight;
        rows.append({qs(Format::share(c.weight, total)), qs(Format::lastPathComponent(c.project)),
                     qs(Texts::chatDetail(c, now))});
    }
    // The rest of the day's chats, where the five leave out a share worth a line.
    std::optional<PopoverShareList::Row> rest;
    if (const double others = total - listed; total > 0 && others / total >= kLeastRest)
        rest = PopoverShareList::Row{
            qs(Format::share(others, total)), QStringLiteral("Other chats"), {}};
    top_->sync(rows, rest);
    rows.clear();
    for (const ToolEater& e : model_.toolEaters())
        rows.append({qs(Format::share(e.weight, total)), qs(e.category), qs(Texts::toolDetail(e))});
    tools_->sync(rows);
}

} // namespace vellumkite
