#include "MenuPopover.hpp"

#include "AppModel.hpp"
#include "Divider.hpp"
#include "Dot.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "LimitBar.hpp"
#include "LimitReadingsPrompt.hpp"
#include "SegmentedControl.hpp"
#include "Sparkline.hpp"
#include "TextLine.hpp"
#include "Texts.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vellumkite {

namespace {


QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

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

MenuPopover::MenuPopover(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setFixedWidth(kWidth);
    auto* outer = Layouts::stack(this, kSpacing);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    const Clock clock = [m = &m_model] { return m->now(); };

    // Limits: the gauges sit directly in the outer stack; without a reading, a message.
    m_fiveHour = new LimitBar(qs(Texts::kFiveHourLimit), {}, clock, this);
    m_fiveHour->setObjectName(QStringLiteral("fiveHourLimit"));
    m_weekly = new LimitBar(qs(Texts::kWeeklyLimit), {}, clock, this);
    m_weekly->setObjectName(QStringLiteral("weeklyLimit"));
    m_limitsMessage = new LimitReadingsPrompt(this);
    m_limitsMessage->setObjectName(QStringLiteral("limitsMessage"));
    outer->addWidget(m_fiveHour);
    outer->addWidget(m_weekly);
    outer->addWidget(m_limitsMessage);
    outer->addWidget(new Divider(this));

    // This chat, and the tip right under it.
    auto* chat = section(QStringLiteral("chatSection"), this);
    {
        auto* l = Layouts::stack(chat, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kThisChat), chat));
        m_chatRow = section(QStringLiteral("chatRow"), chat);
        auto* r = Layouts::row(m_chatRow);
        m_chatDot = new Dot(m_chatRow);
        m_chatSize = text({}, Theme::callout(), TextLine::Role::primary, m_chatRow);
        m_chatSize->setMonoDigits(true);
        m_chatProject = text({}, Theme::callout(), TextLine::Role::secondary, m_chatRow);
        m_chatProject->setFit(TextLine::Fit::elide);
        m_chatProject->setAlignRight(true);
        r->addWidget(m_chatDot);
        r->addWidget(m_chatSize);
        r->addStretch(1);
        r->addWidget(m_chatProject);
        l->addWidget(m_chatRow);
        m_chatMessage = text({}, Theme::callout(), TextLine::Role::secondary, chat);
        l->addWidget(m_chatMessage);
    }
    outer->addWidget(chat);
    m_tip = new TipCard({}, false, this);
    m_tip->setObjectName(QStringLiteral("tipCard"));
    outer->addWidget(m_tip);
    outer->addWidget(new Divider(this));

    auto* live = section(QStringLiteral("liveSection"), this);
    {
        auto* l = Layouts::stack(live, kSectionSpacing);
        auto* header = new QWidget(live);
        auto* r = Layouts::row(header);
        r->addWidget(heading(qs(Texts::kLive), header));
        r->addStretch(1);
        m_rate = text({}, Theme::caption(), TextLine::Role::secondary, header);
        m_rate->setMonoDigits(true);
        r->addWidget(m_rate);
        l->addWidget(header);
        m_sparkline = new Sparkline({}, live);
        m_sparkline->setFixedHeight(kSparklineHeight);
        l->addWidget(m_sparkline);
    }
    outer->addWidget(live);
    outer->addWidget(new Divider(this));

    auto* top = section(QStringLiteral("topSection"), this);
    {
        auto* l = Layouts::stack(top, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kTopChats), top));
        m_topEmpty = text(qs(Texts::kNoTopChats), Theme::callout(), TextLine::Role::secondary, top);
        l->addWidget(m_topEmpty);
        for (std::size_t i = 0; i < Snapshot::kTopChats; ++i)
            m_topRows.append(addShareRow(l, QStringLiteral("topRow")));
    }
    outer->addWidget(top);
    outer->addWidget(new Divider(this));

    auto* tools = section(QStringLiteral("toolSection"), this);
    {
        auto* l = Layouts::stack(tools, kSectionSpacing);
        l->addWidget(heading(qs(Texts::kToolEaters), tools));
        m_toolEmpty =
            text(qs(Texts::kNoToolEaters), Theme::callout(), TextLine::Role::secondary, tools);
        l->addWidget(m_toolEmpty);
        for (std::size_t i = 0; i < Snapshot::kToolEaters; ++i)
            m_toolRows.append(addShareRow(l, QStringLiteral("toolRow")));
        m_toolNote = text(qs(Texts::kToolNote), Theme::caption(), TextLine::Role::secondary, tools);
        m_toolNote->setObjectName(QStringLiteral("toolNote"));
        m_toolNote->setFit(TextLine::Fit::wrap);
        l->addWidget(m_toolNote);
    }
    outer->addWidget(tools);
    outer->addWidget(new Divider(this));

    // Settings. The controls write the model; what they show always comes back from it.
    auto* boxRow = section(QStringLiteral("boxRow"), this);
    {
        auto* r = Layouts::row(boxRow);
        m_showBox = new QCheckBox(QStringLiteral("Floating box"), boxRow);
        m_showBox->setObjectName(QStringLiteral("showBoxToggle"));
        QStringList sizes;
        for (const BoxSize size : BoxSizes::all)
            sizes << BoxSizes::title(size);
        m_sizePicker = new SegmentedControl(sizes, boxRow);
        m_sizePicker->setObjectName(QStringLiteral("sizePicker"));
        m_sizePicker->setAccessibleName(QStringLiteral("Size"));
        m_sizePicker->setFixedWidth(kPickerWidth);
        r->addWidget(m_showBox);
        r->addStretch(1);
        r->addWidget(m_sizePicker);
        connect(m_showBox, &QCheckBox::toggled, this, [this](bool on) { m_model.setShowBox(on); });
        connect(m_sizePicker, &SegmentedControl::activated, this, [this](int index) {
            if (index >= 0 && index < static_cast<int>(BoxSizes::all.size()))
                m_model.setBoxSize(BoxSizes::all[static_cast<std::size_t>(index)]);
        });
    }
    outer->addWidget(boxRow);
    m_login = new QCheckBox(QStringLiteral("Open at login"), this);
    m_login->setObjectName(QStringLiteral("loginToggle"));
    connect(m_login, &QCheckBox::toggled, this, [this](bool on) { m_model.setLaunchAtLogin(on); });
    outer->addWidget(m_login);

    auto* footer = section(QStringLiteral("footer"), this);
    {
        auto* r = Layouts::row(footer);
        r->addWidget(text(QStringLiteral("Vellumkite"), Theme::caption(), TextLine::Role::secondary,
                          footer));
        r->addStretch(1);
        m_quit = new QToolButton(footer);
        m_quit->setObjectName(QStringLiteral("quitButton"));
        m_quit->setText(QStringLiteral("Quit"));
        m_quit->setFont(Theme::caption());
        m_quit->setAutoRaise(true);
        m_quit->setCursor(Qt::PointingHandCursor);
        connect(m_quit, &QToolButton::clicked, this, [] { QCoreApplication::quit(); });
        r->addWidget(m_quit);
    }
    outer->addWidget(footer);

    connect(&m_model, &AppModel::changed, this, &MenuPopover::scheduleSync);
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
    m_sync.request();
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
    const auto& limits = m_model.limits();
    const bool any = limits && (limits->fiveHour || limits->sevenDay);
    if (any && limits->fiveHour)
        m_fiveHour->setWindow(*limits->fiveHour);
    if (any && limits->sevenDay)
        m_weekly->setWindow(*limits->sevenDay);
    m_fiveHour->setVisible(any && limits->fiveHour);
    m_weekly->setVisible(any && limits->sevenDay);
    // The countdowns move on with the clock even when the reading does not.
    m_fiveHour->update();
    m_weekly->update();
    m_limitsMessage->setVisible(!any);
}

void MenuPopover::syncChat() {
    const auto& chat = m_model.currentChat();
    if (chat) {
        m_chatDot->setColor(Theme::levelColor(m_model.chatLevel(chat->size)));
        m_chatSize->setText(qs(Texts::chatSize(chat->size)));
        m_chatProject->setText(qs(Format::lastPathComponent(chat->project)));
    } else {
        m_chatMessage->setText(m_model.loaded() ? qs(Texts::kNoChats)
                                                : QStringLiteral("Reading your chats\u2026"));
    }
    m_chatRow->setVisible(chat.has_value());
    m_chatMessage->setVisible(!chat);

    const auto& tip = m_model.tip();
    if (tip)
        m_tip->setTip(*tip);
    m_tip->setVisible(tip.has_value());
}

void MenuPopover::syncLive() {
    m_rate->setText(qs(Texts::burnRate(m_model.burnPerMin())));
    m_sparkline->setValues(m_model.sparkline());
}

void MenuPopover::syncTop() {
    const auto& chats = m_model.topChats();
    const double total = m_model.todayWeight();
    const Instant now = m_model.now();
    for (qsizetype i = 0; i < m_topRows.size(); ++i) {
        const ChatLine& line = m_topRows[i];
        const bool shown = static_cast<std::size_t>(i) < chats.size();
        if (shown) {
            const ChatSummary& c = chats[static_cast<std::size_t>(i)];
            line.share->setText(qs(Format::share(c.weight, total)));
            line.name->setText(qs(Format::lastPathComponent(c.project)));
            line.detail->setText(qs(Texts::chatDetail(c, now)));
        }
        line.row->setVisible(shown);
    }
    m_topEmpty->setVisible(chats.empty());
}

void MenuPopover::syncTools() {
    const auto& eaters = m_model.toolEaters();
    const double total = m_model.todayWeight();
    for (qsizetype i = 0; i < m_toolRows.size(); ++i) {
        const ChatLine& line = m_toolRows[i];
        const bool shown = static_cast<std::size_t>(i) < eaters.size();
        if (shown) {
            const ToolEater& e = eaters[static_cast<std::size_t>(i)];
            line.share->setText(qs(Format::share(e.weight, total)));
            line.name->setText(qs(e.category));
            line.detail->setText(qs(Texts::toolDetail(e)));
        }
        line.row->setVisible(shown);
    }
    m_toolEmpty->setVisible(eaters.empty());
    m_toolNote->setVisible(!eaters.empty());
}

void MenuPopover::syncSettings() {
    const QSignalBlocker a(m_showBox), b(m_sizePicker), c(m_login);
    const bool show = m_model.showBox();
    m_showBox->setChecked(show);
    const auto it = std::find(BoxSizes::all.begin(), BoxSizes::all.end(), m_model.boxSize());
    m_sizePicker->setCurrentIndex(static_cast<int>(it - BoxSizes::all.begin()));
    m_sizePicker->setEnabled(show);
    m_login->setChecked(m_model.launchAtLogin());
}

} // namespace vellumkite
