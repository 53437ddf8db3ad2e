#include "TextLine.hpp"

#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

namespace vellumkite {

namespace {

// A wrapping text offers this width until a layout gives it its real one.
constexpr int kWrapHintWidth = 200;

} // namespace

TextLine::TextLine(QWidget* parent, Role role)
    : TextLine(QString(), Theme::systemFont(13), role, parent) {}

TextLine::TextLine(const QString& text, const QFont& font, Role role, QWidget* parent)
    : QWidget(parent), text_(text), font_(font), role_(role) {
    updatePolicy();
}

void TextLine::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    remeasure();
    announce(this);
}

void TextLine::setTextFont(const QFont& font) {
    if (font == font_)
        return;
    font_ = font;
    remeasure();
}

void TextLine::setRole(Role role) {
    role_ = role;
    update();
}

void TextLine::setLevel(const std::optional<Level>& level) {
    level_ = level;
    update();
}

QColor TextLine::textColor() const {
    if (level_)
        return Theme::levelTextColor(*level_, palette());
    switch (role_) {
    case Role::primary:
        return Theme::primary(palette());
    case Role::secondary:
        return Theme::secondary(palette());
    case Role::tertiary:
        return Theme::tertiary(palette());
    }
    return Theme::primary(palette());
}

void TextLine::setMonoDigits(bool mono) {
    mono_ = mono;
    remeasure();
}

void TextLine::setFit(Fit fit) {
    fit_ = fit;
    updatePolicy();
    remeasure();
}

void TextLine::setAlignRight(bool right) {
    alignRight_ = right;
    update();
}

void TextLine::setElideMode(Qt::TextElideMode mode) {
    elideMode_ = mode;
    update();
}

void TextLine::remeasure() {
    updateGeometry();
    update();
}

void TextLine::updatePolicy() {
    QSizePolicy policy;
    switch (fit_) {
    case Fit::natural:
        policy = QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
        break;
    case Fit::elide:
        policy = QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        break;
    case Fit::wrap:
        policy = QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        break;
    }
    setSizePolicy(policy);
}

qreal TextLine::naturalWidth() const {
    return mono_ ? Theme::monoDigitsWidth(font_, text_)
                 : QFontMetricsF(font_).horizontalAdvance(text_);
}

int TextLine::lineHeight() const {
    return static_cast<int>(std::ceil(QFontMetricsF(font_).height()));
}

QStringList TextLine::displayedLines() const {
    if (text_.isEmpty())
        return {};
    const qreal room = width();
    switch (fit_) {
    case Fit::wrap:
        return Theme::wrapText(text_, font_, room);
    case Fit::elide:
        if (naturalWidth() > room)
            return {QFontMetricsF(font_).elidedText(text_, elideMode_, room)};
        return {text_};
    case Fit::natural:
        break;
    }
    return {text_};
}

QSize TextLine::sizeHint() const {
    const int w = static_cast<int>(std::ceil(naturalWidth()));
    if (fit_ == Fit::wrap) {
        const int hint = std::min(w, kWrapHintWidth);
        return {hint, heightForWidth(hint)};
    }
    return {w, lineHeight()};
}

QSize TextLine::minimumSizeHint() const {
    switch (fit_) {
    case Fit::natural:
        return sizeHint();
    case Fit::elide: {
        // Room for a letter and the ellipsis, so that something of the text always shows.
        const QFontMetricsF metrics(font_);
        const int least =
            static_cast<int>(std::ceil(metrics.horizontalAdvance(QStringLiteral("W\u2026"))));
        return {std::min(least, sizeHint().width()), lineHeight()};
    }
    case Fit::wrap:
        return {1, lineHeight()};
    }
    return sizeHint();
}

int TextLine::heightForWidth(int width) const {
    if (fit_ != Fit::wrap)
        return lineHeight();
    const auto lines = Theme::wrapText(text_, font_, std::max(width, 1));
    const qreal spacing = QFontMetricsF(font_).lineSpacing();
    if (lines.isEmpty())
        return 0;
    return static_cast<int>(
        std::ceil(QFontMetricsF(font_).height() + static_cast<qreal>(lines.size() - 1) * spacing));
}

void TextLine::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}

void TextLine::paintEvent(QPaintEvent*) {
    const QStringList lines = displayedLines();
    if (lines.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(textColor());
    const QFontMetricsF metrics(font_);
    const qreal spacing = metrics.lineSpacing();
    const qreal block = metrics.height() + static_cast<qreal>(lines.size() - 1) * spacing;
    // A single line sits in the middle of whatever height the row gives it.
    qreal baseline = std::round(std::max<qreal>(0, (height() - block) / 2) + metrics.ascent());
    for (const QString& line : lines) {
        const bool elided = line != text_ && fit_ == Fit::elide;
        const qreal w = mono_ && !elided ? Theme::monoDigitsWidth(font_, line)
                                         : metrics.horizontalAdvance(line);
        const qreal x = alignRight_ ? std::floor(width() - w) : 0;
        if (mono_ && !elided)
            Theme::drawMonoDigits(painter, QPointF(x, baseline), line);
        else
            painter.drawText(QPointF(x, baseline), line);
        baseline += spacing;
    }
}

} // namespace vellumkite
