#include "FloatingBoxView.hpp"

#include "AppModel.hpp"
#include "Dot.hpp"
#include "Format.hpp"
#include "Layouts.hpp"
#include "Sparkline.hpp"
#include "Symbols.hpp"
#include "SymbolView.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "UsageBar.hpp"

#include <cmath>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace vellumkite {

namespace {

constexpr int kRowSpacing = 8;
constexpr int kLimitLineGap = 3;
constexpr int kBlockGap = 4;
constexpr int kChatGap = 6;
// The box stands for a translucent material; nearly opaque reads best over busy windows.
constexpr qreal kBackgroundOpacity = 0.96;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QFont boxFont(qreal points, QFont::Weight weight = QFont::Normal) {
    return Theme::systemFont(points, weight);
}

QHBoxLayout* row(QWidget* parent, int spacing = kRowSpacing) {
    auto* layout = new QHBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* stack(QWidget* parent, int spacing) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

TextLine* text(QWidget* parent, TextLine::Role role = TextLine::Role::primary) {
    auto* t = new TextLine(parent);
    t->setRole(role);
    return t;
}

// A borderless menu button: the text and a small downward chevron, tinted on hover.
class MenuButton : public QToolButton {
public:
    using QToolButton::QToolButton;

    QSize sizeHint() const override {
        const QFontMetricsF m(font());
        return {static_cast<int>(std::ceil(m.horizontalAdvance(text()) + kChevronGap +
                                           chevronWidth() + 2 * kPadding)),
                static_cast<int>(std::ceil(m.height())) + 4};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = Theme::primary(palette());
        if (underMouse() || isDown()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(Theme::withOpacity(ink, isDown() ? 0.16 : 0.08));
            painter.drawRoundedRect(QRectF(rect()), 5, 5);
        }
        const QFontMetricsF m(font());
        const qreal baseline = std::round((height() - m.height()) / 2 + m.ascent());
        painter.setFont(font());
        painter.setPen(ink);
        painter.drawText(QPointF(kPadding, baseline), text());
        // The chevron sits on the x-height's middle, like the one of a native pop-up button.
        const qreal w = chevronWidth();
        const qreal x = kPadding + m.horizontalAdvance(text()) + kChevronGap;
        const qreal mid = baseline - m.xHeight() / 2;
        painter.setPen(
            QPen(Theme::secondary(palette()), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(
            QPolygonF{{x, mid - w / 4}, {x + w / 2, mid + w / 4}, {x + w, mid - w / 4}});
    }

private:
    static constexpr qreal kPadding = 5;
    static constexpr qreal kChevronGap = 4;
    qreal chevronWidth() const { return std::round(QFontMetricsF(font()).xHeight() * 1.1); }
};

} // namespace

FloatingBoxView::Style FloatingBoxView::style(BoxSize size) {
    switch (size) {
    case BoxSize::small:
        return {240, 12, 10, 12, 11, 6, false, false, false, false, 0, false, false, false};
    case BoxSize::medium:
        return {300, 12, 10, 13, 11, 6, true, true, true, true, 24, true, true, false};
    case BoxSize::large:
        return {380, 16, 12, 15, 13, 8, true, true, true, true, 36, true, false, true};
    }
    return style(BoxSize::medium);
}

FloatingBoxView::FloatingBoxView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    m_layout = stack(this, 10);

    // Header. Its empty parts drag the window like the rest of the box.
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("header"));
    m_header->setToolTip(QStringLiteral("Drag to move"));
    {
        auto* r = row(m_header, kHeaderSpacing);
        m_grip = new SymbolView(Symbol::lines, 12, TextLine::Role::tertiary, m_header);
        m_title = text(m_header, TextLine::Role::secondary);
        m_title->setText(QStringLiteral("Vellumkite"));
        m_sizeButton = new MenuButton(m_header);
        m_sizeButton->setObjectName(QStringLiteral("sizeButton"));
        m_sizeButton->setToolTip(QStringLiteral("Box size"));
        m_sizeButton->setAutoRaise(true);
        m_sizeButton->setPopupMode(QToolButton::InstantPopup);
        m_sizeButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
        m_sizeButton->setFocusPolicy(Qt::NoFocus);
        m_sizeMenu = new QMenu(m_sizeButton);
        m_sizeButton->setMenu(m_sizeMenu);
        // The items are made when the menu opens, so the checkmark follows the current size.
        connect(m_sizeMenu, &QMenu::aboutToShow, this, [this] {
            m_sizeMenu->clear();
            fillSizeItems(m_sizeMenu);
        });
        fillSizeItems(m_sizeMenu);
        m_closeButton = new QToolButton(m_header);
        m_closeButton->setObjectName(QStringLiteral("closeButton"));
        m_closeButton->setToolTip(QStringLiteral("Hide (turn back on from the menu bar)"));
        m_closeButton->setAutoRaise(true);
        m_closeButton->setFocusPolicy(Qt::NoFocus);
        connect(m_closeButton, &QToolButton::clicked, this, [this] { m_model.setShowBox(false); });
        r->addWidget(m_grip);
        r->addWidget(m_title);
        r->addStretch(1);
        r->addWidget(m_sizeButton);
        r->addWidget(m_closeButton);
    }
    m_layout->addWidget(m_header);

    m_limitRows.append(makeLimitRow(QStringLiteral("fiveHourRow"), QStringLiteral("5-hour limit")));
    m_limitRows.append(makeLimitRow(QStringLiteral("weeklyRow"), QStringLiteral("Weekly limit")));
    m_noReading = text(this, TextLine::Role::secondary);
    m_noReading->setObjectName(QStringLiteral("noReading"));
    m_noReading->setText(QStringLiteral("No limit reading yet (turn on the status line)."));
    m_noReading->setFit(TextLine::Fit::wrap);
    m_layout->addWidget(m_noReading);

    m_chatRow = new QWidget(this);
    m_chatRow->setObjectName(QStringLiteral("chatRow"));
    m_chatRow->setToolTip(QStringLiteral(
        "How much of this chat Claude re-reads with every message. Smaller is cheaper."));
    {
        auto* r = row(m_chatRow, kChatGap);
        m_chatDot = new Dot(m_chatRow);
        m_chatSize = text(m_chatRow);
        m_chatSize->setMonoDigits(true);
        // The project takes the rest of the row, at least the gap away from the size.
        m_chatProject = text(m_chatRow, TextLine::Role::secondary);
        m_chatProject->setFit(TextLine::Fit::elide);
        m_chatProject->setAlignRight(true);
        m_chatProject->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_chatMessage = text(m_chatRow, TextLine::Role::secondary);
        r->addWidget(m_chatDot);
        r->addWidget(m_chatSize);
        r->addWidget(m_chatProject);
        r->addWidget(m_chatMessage);
    }
    m_layout->addWidget(m_chatRow);

    m_live = new QWidget(this);
    m_live->setObjectName(QStringLiteral("liveBlock"));
    {
        auto* l = stack(m_live, kBlockGap);
        auto* header = new QWidget(m_live);
        auto* r = row(header);
        m_liveLabel = text(header, TextLine::Role::secondary);
        m_liveLabel->setText(QStringLiteral("Using now"));
        m_liveRate = text(header);
        m_liveRate->setMonoDigits(true);
        r->addWidget(m_liveLabel);
        r->addStretch(1);
        r->addWidget(m_liveRate);
        l->addWidget(header);
        m_sparkline = new Sparkline({}, m_live);
        l->addWidget(m_sparkline);
    }
    m_layout->addWidget(m_live);

    m_tip = new TipCard({}, true, this);
    m_tip->setObjectName(QStringLiteral("tipCard"));
    m_layout->addWidget(m_tip);

    m_busiest = new QWidget(this);
    m_busiest->setObjectName(QStringLiteral("busiest"));
    {
        auto* l = stack(m_busiest, kBlockGap);
        m_busiestTitle = text(m_busiest, TextLine::Role::secondary);
        m_busiestTitle->setText(QStringLiteral("Busiest chats today"));
        l->addWidget(m_busiestTitle);
        for (int i = 0; i < kBusiestChats; ++i) {
            BusyRow b{};
            b.row = new QWidget(m_busiest);
            b.row->setObjectName(QStringLiteral("busyRow"));
            auto* r = row(b.row);
            b.share = text(b.row);
            b.share->setMonoDigits(true);
            b.share->setAlignRight(true);
            b.share->setFixedWidth(kShareColumn);
            b.name = text(b.row);
            b.name->setFit(TextLine::Fit::elide);
            b.ago = text(b.row, TextLine::Role::secondary);
            r->addWidget(b.share);
            r->addWidget(b.name);
            r->addStretch(1);
            r->addWidget(b.ago);
            l->addWidget(b.row);
            m_busyRows.append(b);
        }
    }
    m_layout->addWidget(m_busiest);

    connect(&m_model, &AppModel::changed, this, &FloatingBoxView::scheduleSync);
    sync();
}

FloatingBoxView::~FloatingBoxView() = default;

FloatingBoxView::LimitRow FloatingBoxView::makeLimitRow(const QString& objectName,
                                                        const QString& title) {
    LimitRow l{};
    l.row = new QWidget(this);
    l.row->setObjectName(objectName);
    auto* lines = stack(l.row, kLimitLineGap);
    auto* top = new QWidget(l.row);
    auto* r = row(top);
    l.title = text(top);
    l.title->setText(title);
    l.value = text(top);
    l.value->setMonoDigits(true);
    r->addWidget(l.title);
    r->addStretch(1);
    r->addWidget(l.value);
    lines->addWidget(top);
    l.bar = new UsageBar(0, 6, l.row);
    lines->addWidget(l.bar);
    l.resets = text(l.row, TextLine::Role::secondary);
    l.resets->setMonoDigits(true);
    lines->addWidget(l.resets);
    m_layout->addWidget(l.row);
    return l;
}

void FloatingBoxView::fillSizeItems(QMenu* menu) {
    const BoxSize current = m_model.boxSize();
    const QIcon check = Symbols::icon(Symbol::checkmark, Theme::primary(menu->palette()));
    for (const BoxSize size : BoxSizes::all) {
        QAction* action = menu->addAction(BoxSizes::title(size));
        if (size == current)
            action->setIcon(check);
        connect(action, &QAction::triggered, this, [this, size] { m_model.setBoxSize(size); });
    }
}

std::unique_ptr<QMenu> FloatingBoxView::makeContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const bool fallback = m_fallback.needed && m_fallback.open && m_fallback.needed();
    if (fallback) {
        connect(menu->addAction(QStringLiteral("Open Vellumkite")), &QAction::triggered, this,
                [open = m_fallback.open] { open(); });
        menu->addSeparator();
    }
    fillSizeItems(menu.get());
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Hide box")), &QAction::triggered, this,
            [this] { m_model.setShowBox(false); });
    if (fallback) {
        menu->addSeparator();
        connect(menu->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
                [] { QCoreApplication::quit(); });
    }
    return menu;
}

void FloatingBoxView::scheduleSync() {
    m_sync.request();
}

void FloatingBoxView::sync() {
    const Style s = style(m_model.boxSize());
    setFixedWidth(s.width);
    m_layout->setContentsMargins(s.padding, s.padding, s.padding, s.padding);
    m_layout->setSpacing(s.spacing);

    const QFont small = boxFont(s.small);
    m_grip->setSymbolSize(QFontInfo(small).pixelSize());
    m_title->setTextFont(boxFont(s.small, QFont::DemiBold));
    m_sizeButton->setFont(small);
    m_sizeButton->setText(BoxSizes::title(m_model.boxSize()));
    const int closeSide = QFontInfo(small).pixelSize() + 3;
    m_closeButton->setIcon(Symbols::icon(Symbol::xmarkCircle, Theme::secondary(palette())));
    m_closeButton->setIconSize(QSize(closeSide, closeSide));

    syncLimits(s);
    syncChat(s);
    syncLive(s);
    syncBusiest(s);
    // Hidden rows and changed fonts must count before the window asks for the new size.
    Layouts::refresh(this);
    emit synced();
}

void FloatingBoxView::syncLimits(const Style& s) {
    const auto& limits = m_model.limits();
    const bool any = limits && (limits->fiveHour || limits->sevenDay);
    const std::optional<Limits::Window> windows[2] = {
        any ? limits->fiveHour : std::nullopt,
        any && (s.weeklyAlways || !limits->fiveHour) ? limits->sevenDay : std::nullopt};
    const Instant now = m_model.now();
    for (qsizetype i = 0; i < m_limitRows.size(); ++i) {
        const LimitRow& l = m_limitRows[i];
        const auto& w = windows[i];
        l.row->setVisible(w.has_value());
        l.title->setTextFont(boxFont(s.body));
        l.value->setTextFont(boxFont(s.body, QFont::DemiBold));
        l.resets->setTextFont(boxFont(s.small));
        l.bar->setBarHeight(s.gauge);
        l.resets->setVisible(s.resetLines);
        if (!w)
            continue;
        l.value->setText(qs(Format::percent(w->usedPercent)) + QStringLiteral(" used"));
        // From the unrounded reading, like the gauge: 79.6 shows 80 in orange.
        l.value->setColor(Theme::gaugeColor(w->usedPercent));
        l.bar->setPercent(w->usedPercent);
        l.resets->setText(QStringLiteral("Resets in ") + qs(Format::until(w->resetsAt, now)));
    }
    m_noReading->setTextFont(boxFont(s.small));
    m_noReading->setVisible(!any && s.noReadingMessage);
}

void FloatingBoxView::syncChat(const Style& s) {
    const auto& chat = m_model.currentChat();
    m_chatSize->setTextFont(boxFont(s.body));
    m_chatProject->setTextFont(boxFont(s.small));
    m_chatMessage->setTextFont(boxFont(s.body));
    if (chat) {
        m_chatDot->setColor(Theme::levelColor(m_model.chatLevel(chat->size)));
        m_chatSize->setText(QStringLiteral("This chat: ") + qs(Format::tokens(chat->size)) +
                            QStringLiteral(" tokens"));
        m_chatProject->setText(qs(Format::lastPathComponent(chat->project)));
    } else {
        m_chatMessage->setText(m_model.loaded() ? QStringLiteral("No recent chat")
                                                : QStringLiteral("Reading your chats\u2026"));
    }
    m_chatDot->setVisible(chat.has_value());
    m_chatSize->setVisible(chat.has_value());
    m_chatProject->setVisible(chat.has_value());
    m_chatMessage->setVisible(!chat);
}

void FloatingBoxView::syncLive(const Style& s) {
    m_live->setVisible(s.live);
    m_liveLabel->setTextFont(boxFont(s.small));
    m_liveRate->setTextFont(boxFont(s.small, QFont::Medium));
    m_liveRate->setText(qs(Format::rate(m_model.burnPerMin())) + QStringLiteral(" tokens/min"));
    m_sparkline->setFixedHeight(std::max(1, s.sparkline));
    m_sparkline->setValues(m_model.sparkline());

    const auto& tip = m_model.tip();
    if (tip)
        m_tip->setTip(*tip);
    m_tip->setCompact(s.compactTip);
    m_tip->setVisible(s.tip && tip.has_value());
}

void FloatingBoxView::syncBusiest(const Style& s) {
    const auto& chats = m_model.topChats();
    m_busiest->setVisible(s.busiest && !chats.empty());
    m_busiestTitle->setTextFont(boxFont(s.small));
    const double total = m_model.todayWeight();
    const Instant now = m_model.now();
    for (qsizetype i = 0; i < m_busyRows.size(); ++i) {
        const BusyRow& b = m_busyRows[i];
        const bool shown = static_cast<std::size_t>(i) < chats.size();
        b.row->setVisible(shown);
        for (TextLine* t : {b.share, b.name, b.ago})
            t->setTextFont(boxFont(s.small));
        if (!shown)
            continue;
        const ChatSummary& c = chats[static_cast<std::size_t>(i)];
        b.share->setText(qs(Format::share(c.weight, total)));
        b.name->setText(qs(Format::lastPathComponent(c.project)));
        b.ago->setText(qs(Format::ago(c.lastTime, now)));
    }
}

QSize FloatingBoxView::fittingSize() const {
    const int w = style(m_model.boxSize()).width;
    const int h = m_layout->hasHeightForWidth() ? m_layout->totalHeightForWidth(w)
                                                : m_layout->totalSizeHint().height();
    return {w, h};
}

void FloatingBoxView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Theme::paintPanel(painter, size(), kCornerRadius, palette(), kBackgroundOpacity);
}

void FloatingBoxView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWidget* top = window();
    if (QWindow* handle = top->windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragOffset = event->globalPosition() - QPointF(top->pos());
}

void FloatingBoxView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragOffset || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    window()->move((event->globalPosition() - *m_dragOffset).toPoint());
}

void FloatingBoxView::mouseReleaseEvent(QMouseEvent* event) {
    const bool dragging = m_dragOffset.has_value();
    m_dragOffset.reset();
    QWidget::mouseReleaseEvent(event);
    if (dragging)
        emit dragFinished();
}

void FloatingBoxView::contextMenuEvent(QContextMenuEvent* event) {
    const auto menu = makeContextMenu();
    menu->exec(event->globalPos());
}

} // namespace vellumkite
