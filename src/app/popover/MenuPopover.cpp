#include "MenuPopover.hpp"

#include "AppModel.hpp"
#include "Divider.hpp"
#include "Dot.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "LimitBar.hpp"
#include "LimitReadingsPrompt.hpp"
#include "QtText.hpp"
#include "SegmentedControl.hpp"
#include "Sparkline.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

QWidget* section(const QString& objectName, QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setObjectName(objectName);
    return w;
}

TextLine* text(const QString& s, const QFont& font, TextLine::Role role, QWidget* parent) {
    return new TextLine(s, font, role, parent);
}

TextLine* heading(const QString& s, QWidget* parent) {
    return text(s, Theme::headline(), TextLine::Role::primary, parent);
}

} // namespace

MenuPopover::MenuPopover(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedWidth(kWidth);
    auto* outer = Layouts::stack(this, kSpacing);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    const Clock clock = [m = &model_] { return m->now(); };

    // Limits: the gauges sit directly in the outer stack; without a reading, a message.
    fiveHour_ = new LimitBar(qs(Texts::kFiveHourLimit), {}, clock, this);
    fiveHour_->setObjectName(QStringLiteral("fiveHourLimit"));
    weekly_ = new LimitBar(qs(Texts::kWeeklyLimit), {}, clock, this);
    weekly_->setObjectName(QStringLiteral("weeklyLimit"));
    limitsMessage_ = new LimitReadingsPrompt(this);
    limitsMessage_->setObjectName(QStringLiteral("limitsMessage"));
    outer->addWidget(fiveHour_);
    outer->addWidget(weekly_);
    outer->addWidget(limitsMessage_);
    outer->addWidget(new Divider(this));

    // This chat, and the tip right under it.
    auto* chat = section(QStringLiteral("chatSection"), this);
    {
        auto* l = Layouts::stack(chat, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kThisChat), chat));
        chatRow_ = section(QStringLiteral("chatRow"), chat);
        auto* r = Layouts::row(chatRow_);
        chatDot_ = new Dot(chatRow_);
        chatSize_ = text({}, Theme::callout(), TextLine::Role::primary, chatRow_);
        chatSize_->setMonoDigits(true);
        chatProject_ = text({}, Theme::callout(), TextLine::Role::secondary, chatRow_);
        chatProject_->setFit(TextLine::Fit::elide);
        chatProject_->setAlignRight(true);
        r->addWidget(chatDot_);
        r->addWidget(chatSize_);
        r->addStretch(1);
        r->addWidget(chatProject_);
        l->addWidget(chatRow_);
        chatMessage_ = text({}, Theme::callout(), TextLine::Role::secondary, chat);
        l->addWidget(chatMessage_);
    }
    outer->addWidget(chat);
    tip_ = new TipCard({}, false, this);
    tip_->setObjectName(QStringLiteral("tipCard"));
    outer->addWidget(tip_);
    outer->addWidget(new Divider(this));

    auto* live = section(QStringLiteral("liveSection"), this);
    {
        auto* l = Layouts::stack(live, kSectionSpacing);
        auto* header = new QWidget(live);
        auto* r = Layouts::row(header);
        r->addWidget(heading(qs(Texts::kLive), header));
        r->addStretch(1);
        rate_ = text({}, Theme::caption(), TextLine::Role::secondary, header);
        rate_->setMonoDigits(true);
        r->addWidget(rate_);
        l->addWidget(header);
        sparkline_ = new Sparkline({}, live);
        sparkline_->setFixedHeight(kSparklineHeight);
        l->addWidget(sparkline_);
    }
    outer->addWidget(live);
    outer->addWidget(new Divider(this));

    auto* top = section(QStringLiteral("topSection"), this);
    {
        auto* l = Layouts::stack(top, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kTopChats), top));
        topEmpty_ = text(qs(Texts::kNoTopChats), Theme::callout(), TextLine::Role::secondary, top);
        l->addWidget(topEmpty_);
        for (std::size_t i = 0; i < Snapshot::kTopChats; ++i)
            topRows_.append(addShareRow(l, QStringLiteral("topRow")));
    }
    outer->addWidget(top);
    outer->addWidget(new Divider(this));

    auto* tools = section(QStringLiteral("toolSection"), this);
    {
        auto* l = Layouts::stack(tools, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kToolEaters), tools));
        toolEmpty_ =
            text(qs(Texts::kNoToolEaters), Theme::callout(), TextLine::Role::secondary, tools);
        l->addWidget(toolEmpty_);
        for (std::size_t i = 0; i < Snapshot::kToolEaters; ++i)
            toolRows_.append(addShareRow(l, QStringLiteral("toolRow")));
        toolNote_ = text(qs(Texts::kToolNote), Theme::caption(), TextLine::Role::secondary, tools);
        toolNote_->setObjectName(QStringLiteral("toolNote"));
        toolNote_->setFit(TextLine::Fit::wrap);
        l->addWidget(toolNote_);
    }
    outer->addWidget(tools);
    outer->addWidget(new Divider(this));

    // Settings. The controls write the model; what they show always comes back from it.
    auto* boxRow = section(QStringLiteral("boxRow"), this);
    {
        auto* r = Layouts::row(boxRow);
        showBox_ = new QCheckBox(QStringLiteral("Floating box"), boxRow);
        showBox_->setObjectName(QStringLiteral("showBoxToggle"));
        QStringList sizes;
        for (const BoxSize size : BoxSizes::all)
            sizes << BoxSizes::title(size);
        sizePicker_ = new SegmentedControl(sizes, boxRow);
        sizePicker_->setObjectName(QStringLiteral("sizePicker"));
        sizePicker_->setAccessibleName(QStringLiteral("Size"));
        sizePicker_->setFixedWidth(kPickerWidth);
        r->addWidget(showBox_);
        r->addStretch(1);
        r->addWidget(sizePicker_);
        connect(showBox_, &QCheckBox::toggled, this, [this](bool on) { model_.setShowBox(on); });
        connect(sizePicker_, &SegmentedControl::activated, this, [this](int index) {
            if (index >= 0 && index < static_cast<int>(BoxSizes::all.size()))
                model_.setBoxSize(BoxSizes::all[static_cast<std::size_t>(index)]);
        });
    }
    outer->addWidget(boxRow);
    login_ = new QCheckBox(QStringLiteral("Open at login"), this);
    login_->setObjectName(QStringLiteral("loginToggle"));
    connect(login_, &QCheckBox::toggled, this, [this](bool on) { model_.setLaunchAtLogin(on); });
    outer->addWidget(login_);

    auto* footer = section(QStringLiteral("footer"), this);
    {
        auto* r = Layouts::row(footer);
        r->addWidget(text(QStringLiteral("Vellumkite"), Theme::caption(), TextLine::Role::secondary,
                          footer));
        r->addStretch(1);
        auto* history = new QToolButton(footer);
        history->setObjectName(QStringLiteral("historyButton"));
        history->setText(QStringLiteral("History"));
        history->setFont(Theme::caption());
        history->setAutoRaise(true);
        history->setCursor(Qt::PointingHandCursor);
        history->setToolTip(QStringLiteral("The last 30 days, the week and the month (Ctrl+H)"));
        connect(history, &QToolButton::clicked, this, [this] {
            emit historyClicked();
            model_.openHistory();
        });
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
        connect(shortcut, &QShortcut::activated, history, &QToolButton::click);
        r->addWidget(history);
        quit_ = new QToolButton(footer);
        quit_->setObjectName(QStringLiteral("quitButton"));
        quit_->setText(QStringLiteral("Quit"));
        quit_->setFont(Theme::caption());
        quit_->setAutoRaise(true);
        quit_->setCursor(Qt::PointingHandCursor);
        connect(quit_, &QToolButton::clicked, this, [] { QCoreApplication::quit(); });
        r->addWidget(quit_);
    }
    outer->addWidget(footer);

    connect(&model_, &AppModel::changed, this, &MenuPopover::scheduleSync);
    sync();
}

MenuPopover::ChatLine MenuPopover::addShareRow(QVBoxLayout* sectionLayout,
                                               const QString& objectName) {
    QWidget* parent = sectionLayout->parentWidget();
    ChatLine line{};
    line.row = section(objectName, parent);
    auto* r = Layouts::row(line.row);
    line.share = text({}, Theme::callout(), TextLine::Role::primary, line.row);
    line.share->setMonoDigits(true);
    line.share->setAlignRight(true);
    line.share->setFixedWidth(kShareColumn);
    line.name = text({}, Theme::callout(), TextLine::Role::primary, line.row);
    line.name->setFit(TextLine::Fit::elide);
    line.detail = text({}, Theme::callout(), TextLine::Role::secondary, line.row);
    line.detail->setMonoDigits(true);
    r->addWidget(line.share);
    r->addWidget(line.name);
    r->addStretch(1);
    r->addWidget(line.detail);
    sectionLayout->addWidget(line.row);
    return line;
}

void MenuPopover::scheduleSync() {
    sync_.request();
}

void MenuPopover::sync() {
    syncLimits();
    syncChat();
    syncLive();
    syncTop();
    syncTools();
    syncSettings();
    Layouts::refresh(this);
    emit synced();
}

void MenuPopover::syncLimits() {
    const auto& limits = model_.limits();
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
    limitsMessage_->setVisible(!any);
}

void MenuPopover::syncChat() {
    const auto& chat = model_.currentChat();
    if (chat) {
        chatDot_->setColor(Theme::levelColor(model_.chatLevel(chat->size)));
        chatSize_->setText(qs(Texts::chatSize(chat->size)));
        chatProject_->setText(qs(Format::lastPathComponent(chat->project)));
    } else {
        chatMessage_->setText(model_.loaded() ? qs(Texts::kNoChats)
                                              : QStringLiteral("Reading your chats\u2026"));
    }
    chatRow_->setVisible(chat.has_value());
    chatMessage_->setVisible(!chat);

    const auto& tip = model_.tip();
    if (tip)
        tip_->setTip(*tip);
    tip_->setVisible(tip.has_value());
}

void MenuPopover::syncLive() {
    rate_->setText(qs(Texts::burnRate(model_.burnPerMin())));
    sparkline_->setValues(model_.sparkline());
}

void MenuPopover::syncTop() {
    const auto& chats = model_.topChats();
    const double total = model_.todayWeight();
    const Instant now = model_.now();
    for (qsizetype i = 0; i < topRows_.size(); ++i) {
        const ChatLine& line = topRows_[i];
        const bool shown = static_cast<std::size_t>(i) < chats.size();
        if (shown) {
            const ChatSummary& c = chats[static_cast<std::size_t>(i)];
            line.share->setText(qs(Format::share(c.weight, total)));
            line.name->setText(qs(Format::lastPathComponent(c.project)));
            line.detail->setText(qs(Texts::chatDetail(c, now)));
        }
        line.row->setVisible(shown);
    }
    topEmpty_->setVisible(chats.empty());
}

void MenuPopover::syncTools() {
    const auto& eaters = model_.toolEaters();
    const double total = model_.todayWeight();
    for (qsizetype i = 0; i < toolRows_.size(); ++i) {
        const ChatLine& line = toolRows_[i];
        const bool shown = static_cast<std::size_t>(i) < eaters.size();
        if (shown) {
            const ToolEater& e = eaters[static_cast<std::size_t>(i)];
            line.share->setText(qs(Format::share(e.weight, total)));
            line.name->setText(qs(e.category));
            line.detail->setText(qs(Texts::toolDetail(e)));
        }
        line.row->setVisible(shown);
    }
    toolEmpty_->setVisible(eaters.empty());
    toolNote_->setVisible(!eaters.empty());
}

void MenuPopover::syncSettings() {
    const QSignalBlocker a(showBox_), b(sizePicker_), c(login_);
    const bool show = model_.showBox();
    showBox_->setChecked(show);
    const auto it = std::find(BoxSizes::all.begin(), BoxSizes::all.end(), model_.boxSize());
    sizePicker_->setCurrentIndex(static_cast<int>(it - BoxSizes::all.begin()));
    sizePicker_->setEnabled(show);
    login_->setChecked(model_.launchAtLogin());
}

} // namespace vellumkite
