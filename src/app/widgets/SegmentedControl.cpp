#include "SegmentedControl.hpp"

#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace vellumkite {

namespace {

constexpr qreal kCornerRadius = 6;
constexpr qreal kInset = 2;
constexpr qreal kDisabledOpacity = 0.45;
constexpr int kTextPadding = 10;

constexpr int kLeastPadding = 5;

QFont segmentFont() {
    return Theme::systemFont(12);
}

// The selected option is drawn a little heavier, and so a little wider.
QFont selectedFont() {
    QFont font = segmentFont();
    font.setWeight(QFont::Medium);
    return font;
}

// As many equal segments as there are options (at least one), each as wide as the widest option
// in `font` with `padding` on either side.
int segmentsWidth(const QStringList& options, const QFont& font, int padding) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& option : options)
        widest = std::max(widest, metrics.horizontalAdvance(option));
    const int n = std::max<int>(1, static_cast<int>(options.size()));
    return static_cast<int>(std::ceil(widest + 2 * padding)) * n;
}

} // namespace

SegmentedControl::SegmentedControl(QStringList options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Keyboard users reach it with Tab; a click does not leave a focus ring behind.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

void SegmentedControl::setCurrentIndex(int index) {
    const int next = index >= 0 && index < options_.size() ? index : -1;
    if (next == current_)
        return;
    current_ = next;
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, next >= 0 ? options_.at(next) : QString());
        QAccessible::updateAccessibility(&event);
    }
}

QRectF SegmentedControl::segmentRect(int index) const {
    if (index < 0 || index >= options_.size())
        return {};
    const qreal w = static_cast<qreal>(width()) / static_cast<qreal>(options_.size());
    return QRectF(w * index, 0, w, height());
}

int SegmentedControl::segmentAt(const QPoint& point) const {
    if (!rect().contains(point) || options_.isEmpty())
        return -1;
    const auto n = static_cast<int>(options_.size());
    return std::clamp(static_cast<int>(point.x() * n / std::max(1, width())), 0, n - 1);
}

QSize SegmentedControl::sizeHint() const {
    return {segmentsWidth(options_, segmentFont(), kTextPadding),
            static_cast<int>(std::ceil(QFontMetricsF(segmentFont()).height())) + 8};
}

QSize SegmentedControl::minimumSizeHint() const {
    // Every option in full, with a little room on either side.
    return {segmentsWidth(options_, selectedFont(), kLeastPadding), sizeHint().height()};
}

bool SegmentedControl::fits() const {
    return width() >= minimumSizeHint().width();
}

void SegmentedControl::choose(int index) {
    if (!isEnabled() || index < 0 || index >= options_.size())
        return;
    setCurrentIndex(index);
    emit activated(index);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    choose(segmentAt(event->position().toPoint()));
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
    const int last = static_cast<int>(options_.size()) - 1;
    if (event->key() == Qt::Key_Left)
        choose(std::max(0, current_ - 1));
    else if (event->key() == Qt::Key_Right)
        choose(std::min(last, current_ + 1));
    else
        QWidget::keyPressEvent(event);
}

void SegmentedControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled())
        painter.setOpacity(kDisabledOpacity);

    const QPalette pal = palette();
    const QColor ink = Theme::primary(pal);
    const bool dark = Theme::isDark(pal);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    painter.setPen(QPen(Theme::withOpacity(ink, 0.10), 1));
    painter.setBrush(Theme::withOpacity(ink, dark ? 0.10 : 0.07));
    painter.drawRoundedRect(bounds, kCornerRadius, kCornerRadius);

    // Thin separators between neighbours that are both unselected.
    painter.setPen(QPen(Theme::withOpacity(ink, 0.16), 1));
    for (int i = 1; i < options_.size(); ++i) {
        if (i == current_ || i - 1 == current_)
            continue;
        const qreal x = std::round(segmentRect(i).left()) + 0.5;
        painter.drawLine(QPointF(x, height() * 0.28), QPointF(x, height() * 0.72));
    }

    if (current_ >= 0) {
        const QRectF knob = segmentRect(current_).adjusted(kInset, kInset, -kInset, -kInset);
        const qreal r = kCornerRadius - kInset;
        // A soft shadow under the raised segment.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, dark ? 60 : 28));
        painter.drawRoundedRect(knob.translated(0, 0.75), r, r);
        painter.setBrush(dark ? Theme::withOpacity(ink, 0.26) : QColor(Qt::white));
        painter.setPen(QPen(Theme::withOpacity(ink, dark ? 0.06 : 0.10), 0.75));
        painter.drawRoundedRect(knob, r, r);
    }

    for (int i = 0; i < options_.size(); ++i) {
        const QRectF seg = segmentRect(i);
        painter.setFont(i == current_ ? selectedFont() : segmentFont());
        painter.setPen(ink);
        const QString text =
            QFontMetricsF(painter.font()).elidedText(options_[i], Qt::ElideRight, seg.width() - 6);
        painter.drawText(seg, Qt::AlignCenter, text);
    }

    if (hasFocus()) {
        painter.setOpacity(1);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::withOpacity(Theme::accent(pal), 0.7), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), kCornerRadius,
                                kCornerRadius);
    }
}

} // namespace vellumkite
