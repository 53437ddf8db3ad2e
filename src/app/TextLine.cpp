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
    : QWidget(parent), m_text(text), m_font(font), m_role(role) {
    updatePolicy();
}

void TextLine::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void TextLine::setTextFont(const QFont& font) {
    if (font == m_font)
        return;
    m_font = font;
    updateGeometry();
    update();
}

void TextLine::setRole(Role role) {
    m_role = role;
    update();
}

void TextLine::setColor(const std::optional<QColor>& color) {
    m_color = color;
    update();
}

QColor TextLine::textColor() const {
    if (m_color)
        return *m_color;
    switch (m_role) {
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
    m_mono = mono;
    updateGeometry();
    update();
}

void TextLine::setFit(Fit fit) {
    m_fit = fit;
    updatePolicy();
    updateGeometry();
    update();
}

void TextLine::setAlignRight(bool right) {
    m_alignRight = right;
    update();
}

void TextLine::updatePolicy() {
    QSizePolicy policy;
    switch (m_fit) {
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
    return m_mono ? Theme::monoDigitsWidth(m_font, m_text)
                  : QFontMetricsF(m_font).horizontalAdvance(m_text);
}

int TextLine::lineHeight() const {
    return static_cast<int>(std::ceil(QFontMetricsF(m_font).height()));
}

QStringList TextLine::displayedLines() const {
    if (m_text.isEmpty())
        return {};
    const qreal room = width();
    switch (m_fit) {
    case Fit::wrap:
        return Theme::wrapText(m_text, m_font, room);
    case Fit::elide:
        if (naturalWidth() > room)
            return {QFontMetricsF(m_font).elidedText(m_text, Qt::ElideRight, room)};
        return {m_text};
    case Fit::natural:
        break;
    }
    return {m_text};
}

QSize TextLine::sizeHint() const {
    const int w = static_cast<int>(std::ceil(naturalWidth()));
    if (m_fit == Fit::wrap) {
        const int hint = std::min(w, kWrapHintWidth);
        return {hint, heightForWidth(hint)};
    }
    return {w, lineHeight()};
}

QSize TextLine::minimumSizeHint() const {
    switch (m_fit) {
    case Fit::natural:
        return sizeHint();
    case Fit::elide: {
        // Room for a letter and the ellipsis, so that something of the text always shows.
        const QFontMetricsF metrics(m_font);
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
    if (m_fit != Fit::wrap)
        return lineHeight();
    const auto lines = Theme::wrapText(m_text, m_font, std::max(width, 1));
    const qreal spacing = QFontMetricsF(m_font).lineSpacing();
    if (lines.isEmpty())
        return 0;
    return static_cast<int>(
        std::ceil(QFontMetricsF(m_font).height() + static_cast<qreal>(lines.size() - 1) * spacing));
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
    painter.setFont(m_font);
    painter.setPen(textColor());
    const QFontMetricsF metrics(m_font);
    const qreal spacing = metrics.lineSpacing();
    const qreal block = metrics.height() + static_cast<qreal>(lines.size() - 1) * spacing;
    // A single line sits in the middle of whatever height the row gives it.
    qreal baseline = std::round(std::max<qreal>(0, (height() - block) / 2) + metrics.ascent());
    for (const QString& line : lines) {
        const bool elided = line != m_text && m_fit == Fit::elide;
        const qreal w = m_mono && !elided ? Theme::monoDigitsWidth(m_font, line)
                                          : metrics.horizontalAdvance(line);
        const qreal x = m_alignRight ? std::floor(width() - w) : 0;
        if (m_mono && !elided)
            Theme::drawMonoDigits(painter, QPointF(x, baseline), line);
        else
            painter.drawText(QPointF(x, baseline), line);
        baseline += spacing;
    }
}

} // namespace vellumkite
