#include "LimitBar.hpp"

#include "Format.hpp"
#include "Texts.hpp"
#include "Theme.hpp"
#include "UsageBar.hpp"

#include <algorithm>
#include <cmath>
#include <QFontMetricsF>
#include <QPainter>

namespace vellumkite {

namespace {

constexpr int kBarHeight = 6;
constexpr int kRowGap = 4;
constexpr int kSpacing = 8;

} // namespace

QString LimitBar::detailText(const Limits::Window& window, Instant now) {
    return QString::fromStdString(Texts::limitDetail(window, now));
}

QString LimitBar::spokenText(const QString& title, const Limits::Window& window, Instant now) {
    return title + QStringLiteral(", ") +
           spoken(QString::fromStdString(Format::percent(window.usedPercent)) +
                  QStringLiteral(" used, resets in ") +
                  QString::fromStdString(Format::until(window.resetsAt, now)));
}

QString LimitBar::accessibleText() const {
    return spokenText(title_, window_, clock_());
}

LimitBar::LimitBar(QString title, Limits::Window window, Clock clock, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), window_(window),
      clock_(clock ? std::move(clock) : systemClock()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LimitBar::setTitle(const QString& title) {
    title_ = title;
    updateGeometry();
    update();
}

void LimitBar::setWindow(const Limits::Window& window) {
    window_ = window;
    updateGeometry();
    update();
    announce(this);
}

int LimitBar::rowHeight() const {
    return static_cast<int>(std::ceil(std::max(QFontMetricsF(Theme::headline()).height(),
                                               QFontMetricsF(Theme::caption()).height())));
}

QSize LimitBar::sizeHint() const {
    const qreal title = QFontMetricsF(Theme::headline()).horizontalAdvance(title_);
    const qreal detail = Theme::monoDigitsWidth(Theme::caption(), detailText(window_, clock_()));
    return {static_cast<int>(std::ceil(title + kSpacing + detail)),
            rowHeight() + kRowGap + kBarHeight};
}

bool LimitBar::fits() const {
    return width() >= sizeHint().width();
}

QSize LimitBar::minimumSizeHint() const {
    return {60, rowHeight() + kRowGap + kBarHeight};
}

void LimitBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const qreal w = width();
    const int row = rowHeight();

    const QFont captionFont = Theme::caption();
    const QFontMetricsF captionMetrics(captionFont);
    QString detail = detailText(window_, clock_());
    qreal detailWidth = Theme::monoDigitsWidth(captionFont, detail);
    if (detailWidth > w) {
        detail = captionMetrics.elidedText(detail, Qt::ElideRight, w);
        detailWidth = Theme::monoDigitsWidth(captionFont, detail);
    }

    // The title yields first when the row is short of room.
    const QFont headlineFont = Theme::headline();
    const QFontMetricsF headlineMetrics(headlineFont);
    const qreal titleRoom = std::max<qreal>(0, w - detailWidth - kSpacing);
    const QString title = headlineMetrics.elidedText(title_, Qt::ElideRight, titleRoom);

    const auto baseline = [row](const QFontMetricsF& m) {
        return std::round((row - m.height()) / 2 + m.ascent());
    };
    painter.setFont(headlineFont);
    painter.setPen(Theme::primary(palette()));
    painter.drawText(QPointF(0, baseline(headlineMetrics)), title);

    painter.setFont(captionFont);
    painter.setPen(Theme::secondary(palette()));
    Theme::drawMonoDigits(painter, QPointF(std::floor(w - detailWidth), baseline(captionMetrics)),
                          detail);

    UsageBar::paintBar(painter, QRectF(0, row + kRowGap, w, kBarHeight), window_.usedPercent,
                       palette());
}

} // namespace vellumkite
