#include "TrayIcon.hpp"

#include "AppModel.hpp"
#include "PopoverWindow.hpp"
#include "Symbols.hpp"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTimer>

namespace vellumkite {

namespace {

// Proportions of the icon's side.
constexpr qreal kGaugeSide = 0.5;
constexpr qreal kCapHeight = 0.4;
constexpr qreal kGap = 0.05;
// How far glyphs may be narrowed before the whole title is made smaller instead.
constexpr qreal kMostCondensed = 0.6;
constexpr qreal kHaloWidth = 0.08;
constexpr qreal kHaloOpacity = 0.55;

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};

QPainterPath titlePath(const QString& title) {
    QFont font = QApplication::font();
    font.setPixelSize(100);
    font.setWeight(QFont::Bold);
    QPainterPath path;
    path.addText(0, 0, font, title);
    return path;
}

} // namespace

QImage TrayIcon::render(const QString& title, int size, qreal devicePixelRatio, const QColor& ink,
                        const QColor& halo) {
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int side = std::max(1, size);
    QImage image(QSize(side, side) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);

    const qreal s = side;
    const qreal gaugeSide = std::round(s * kGaugeSide);
    const QRectF gaugeBox((s - gaugeSide) / 2, 0, gaugeSide, gaugeSide);
    QPainterPath shapes = Symbols::path(Symbol::gauge, gaugeBox, dpr);

    // The title's digits are kCapHeight of the side tall and stand on the bottom edge.
    QFont probe = QApplication::font();
    probe.setPixelSize(100);
    probe.setWeight(QFont::Bold);
    const qreal cap = std::max<qreal>(1, QFontMetricsF(probe).capHeight());
    QPainterPath text = titlePath(title);
    if (!text.isEmpty()) {
        const QRectF bounds = text.boundingRect();
        const qreal room = gaugeSide + s * kGap;
        qreal scale =
            std::min(s * kCapHeight / cap, (s - room) / std::max<qreal>(1, bounds.height()));
        qreal squeeze = 1;
        const qreal width = bounds.width() * scale;
        if (width > s - 1) {
            squeeze = std::max(kMostCondensed, (s - 1) / width);
            if (width * squeeze > s - 1)
                scale *= (s - 1) / (width * squeeze);
        }
        QTransform t;
        const qreal drawnWidth = bounds.width() * scale * squeeze;
        t.translate((s - drawnWidth) / 2 - bounds.left() * scale * squeeze,
                    s - 0.5 - std::max<qreal>(0, bounds.bottom()) * scale);
        t.scale(scale * squeeze, scale);
        shapes.addPath(t.map(text));
    }

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPathStroker stroker;
    stroker.setWidth(std::max<qreal>(1, s * kHaloWidth) * 2);
    stroker.setJoinStyle(Qt::RoundJoin);
    // The halo is the outline's band; the opaque ink covers what lies inside it. A winding fill
    // paints the band's overlaps once, and no path union (costly on glyph outlines) is needed.
    QPainterPath band = stroker.createStroke(shapes);
    band.setFillRule(Qt::WindingFill);
    painter.fillPath(band, QColor(halo.red(), halo.green(), halo.blue(),
                                  static_cast<int>(255 * kHaloOpacity * halo.alphaF())));
    painter.fillPath(shapes, ink);
    return image;
}

QIcon TrayIcon::icon(const QString& title, const QPalette& palette) {
    const bool darkPanel = palette.color(QPalette::Window).lightnessF() < 0.5;
    const QColor ink = darkPanel ? QColor(Qt::white) : QColor(0x1D, 0x1D, 0x1F);
    const QColor halo = darkPanel ? QColor(Qt::black) : QColor(Qt::white);
    QIcon icon;
    for (const int size : kSizes)
        for (const qreal dpr : {1.0, 2.0})
            icon.addPixmap(QPixmap::fromImage(render(title, size, dpr, ink, halo)));
    return icon;
}

QIcon TrayIcon::menuBarIcon() {
    QIcon icon = Symbols::icon(Symbol::gauge, Qt::black);
    icon.setIsMask(true);
    return icon;
}

TrayIcon::Style TrayIcon::platformStyle() {
#ifdef Q_OS_MACOS
    return Style::menuBar;
#else
    return Style::panel;
#endif
}

QString TrayIcon::toolTip(const QString& title) {
    return QStringLiteral("Vellumkite: ") + title;
}

QString TrayIcon::noTrayMessage(bool boxShown) {
    // Starting the program again opens the popover of the one already running.
    if (boxShown)
        return QStringLiteral("Vellumkite: no system tray found; the floating box on screen is "
                              "the way in (its menu opens Vellumkite and quits it). Start "
                              "Vellumkite again at any time to open its window.");
    return QStringLiteral("Vellumkite: no system tray found and the floating box is switched "
                          "off. Start Vellumkite again to open its window, where the box can be "
                          "switched on.");
}

TrayIcon::TrayIcon(AppModel& model, Style style, QObject* parent)
    : QObject(parent), model_(model), style_(style), tray_(std::make_unique<QSystemTrayIcon>()) {
    if (style_ == Style::panel)
        buildMenu();
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Without a menu, a right or Control click does what a click does.
                if (reason == QSystemTrayIcon::Trigger ||
                    (reason == QSystemTrayIcon::Context && !menu_))
                    togglePopover();
            });
    connect(&model_, &AppModel::changed, this, &TrayIcon::scheduleSync);
    // The ink follows the desktop's light or dark palette.
    qApp->installEventFilter(this);
    sync();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        shownTitleValid_ = false;
        scheduleSync();
    }
    return QObject::eventFilter(watched, event);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::buildMenu() {
    menu_ = std::make_unique<QMenu>();
    connect(menu_->addAction(QStringLiteral("Open Vellumkite")), &QAction::triggered, this,
            &TrayIcon::openPopover);
    connect(menu_->addAction(QStringLiteral("History")), &QAction::triggered, &model_,
            &AppModel::openHistory);
    boxAction_ = menu_->addAction(QStringLiteral("Floating box"));
    boxAction_->setCheckable(true);
    connect(boxAction_, &QAction::triggered, this, [this](bool on) { model_.setShowBox(on); });
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
            [] { QCoreApplication::quit(); });
    tray_->setContextMenu(menu_.get());
}

void TrayIcon::show() {
    tray_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        const QByteArray line = noTrayMessage(model_.showBox()).toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
        std::fflush(stderr);
    }
}

void TrayIcon::scheduleSync() {
    sync_.request();
}

void TrayIcon::sync() {
    const QString title = model_.menuTitle();
    // Redrawn only when the title or the palette changes: a new icon makes some trays flicker.
    if (!shownTitleValid_ || title != shownTitle_) {
        if (style_ == Style::panel)
            tray_->setIcon(icon(title, QApplication::palette()));
        else if (tray_->icon().isNull()) // the menu bar tints it: drawn once
            tray_->setIcon(menuBarIcon());
        tray_->setToolTip(toolTip(title));
        shownTitle_ = title;
        shownTitleValid_ = true;
    }
    if (boxAction_)
        boxAction_->setChecked(model_.showBox());
}

void TrayIcon::openPopover() {
    if (!popover_)
        popover_ = std::make_unique<PopoverWindow>(model_, PopoverWindow::Kind::popup);
    popover_->popup(tray_->geometry());
}

bool TrayIcon::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::showPopover() {
    if (!popover_)
        popover_ = std::make_unique<PopoverWindow>(model_, PopoverWindow::Kind::popup);
    const QRect icon = tray_->geometry();
    if (trayAvailable() && tray_->isVisible() && icon.isValid() && !icon.isEmpty())
        popover_->popup(icon);
    else
        popover_->popupNearTop();
}

void TrayIcon::togglePopover() {
    if (popover_ && (popover_->isVisible() || popover_->closedJustNow())) {
        popover_->close();
        return;
    }
    openPopover();
}

} // namespace vellumkite
