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
#include "TipCard.hpp"

#include <QVBoxLayout>

namespace vellumkite {

MenuPopover::MenuPopover(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedWidth(kWidth);
    auto* outer = Layouts::stack(this, kSpacing);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);

    limits_ = new PopoverLimits([m = &model_] { return m->now(); }, kSpacing, this);
    outer->addWidget(limits_);
    outer->addWidget(new Divider(this));

    // This chat, and the tip right under it.
    chat_ = new PopoverChat(kSectionSpacing, this);
    outer->addWidget(chat_);
    tip_ = new TipCard({}, false, this);
    tip_->setObjectName(QStringLiteral("tipCard"));
    outer->addWidget(tip_);
    outer->addWidget(new Divider(this));

    live_ = new PopoverLive(kSectionSpacing, this);
    outer->addWidget(live_);
    outer->addWidget(new Divider(this));

    top_ = new PopoverShareList(
        {qs(Texts::kTopChats), qs(Texts::kNoTopChats), {}, QStringLiteral("topRow"), {}},
        static_cast<int>(Snapshot::kTopChats), kSectionSpacing, this);
    top_->setObjectName(QStringLiteral("topSection"));
    outer->addWidget(top_);
    outer->addWidget(new Divider(this));

    tools_ = new PopoverShareList({qs(Texts::kToolEaters), qs(Texts::kNoToolEaters),
                                   qs(Texts::kToolNote), QStringLiteral("toolRow"),
                                   QStringLiteral("toolNote")},
                                  static_cast<int>(Snapshot::kToolEaters), kSectionSpacing, this);
    tools_->setObjectName(QStringLiteral("toolSection"));
    outer->addWidget(tools_);
    outer->addWidget(new Divider(this));

    settings_ = new PopoverSettings(model_, kSpacing, this);
    outer->addWidget(settings_);
    auto* footer = new PopoverFooter(this);
    connect(footer, &PopoverFooter::historyClicked, this, [this] {
        emit historyClicked();
        model_.openHistory();
    });
    outer->addWidget(footer);

    connect(&model_, &AppModel::changed, this, &MenuPopover::scheduleSync);
    sync();
}

void MenuPopover::scheduleSync() {
    sync_.request();
}

void MenuPopover::sync() {
    limits_->sync(model_.limits());
    chat_->sync(model_);
    const auto& tip = model_.tip();
    if (tip)
        tip_->setTip(*tip);
    tip_->setVisible(tip.has_value());
    live_->sync(model_.burnPerMin(), model_.sparkline());
    syncLists();
    settings_->sync();
    Layouts::refresh(this);
    emit synced();
}

void MenuPopover::syncLists() {
    const double total = model_.todayWeight();
    const Instant now = model_.now();
    QList<PopoverShareList::Row> rows;
    for (const ChatSummary& c : model_.topChats())
        rows.append({qs(Format::share(c.weight, total)), qs(Format::lastPathComponent(c.project)),
                     qs(Texts::chatDetail(c, now))});
    top_->sync(rows);
    rows.clear();
    for (const ToolEater& e : model_.toolEaters())
        rows.append({qs(Format::share(e.weight, total)), qs(e.category), qs(Texts::toolDetail(e))});
    tools_->sync(rows);
}

} // namespace vellumkite
