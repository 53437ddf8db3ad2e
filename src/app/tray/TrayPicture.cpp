#include "TrayPicture.hpp"

#include "Symbols.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>

namespace vellumkite {

namespace {

// Proportions of the icon's side where the gauge stands over the title.
constexpr qreal kGaugeSide = 0.5;
constexpr qreal kGap = 0.05;
// The outline, around everything, in device pixels.
constexpr int kOutline = 1;
// Panels as light and as dark as they come.
const QColor kLightPanel(0xF5, 0xF5, 0xF5);
const QColor kDarkPanel(0x1A, 0x1A, 0x1A);

QFont titleFont(qreal pixelSize) {
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::floor(pixelSize))));
    font.setWeight(QFont::Bold);
    // Glyphs snapped to the pixel grid stay sharp at these sizes.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The largest whole pixel size at which the text fits the box, and its digits' height there.
std::pair<qreal, qreal> fit(const QString& text, qreal width, qreal height) {
    for (int px = static_cast<int>(std::floor(height * 1.5)); px >= 4; --px) {
        const QFontMetricsF m(titleFont(px));
        if (m.horizontalAdvance(text) <= width && m.capHeight() <= height)
            return {px, m.capHeight()};
    }
    return {0, 0};
}

QImage tinted(const QImage& mask, const QColor& color) {
    QImage out = mask;
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), color);
    return out;
}

} // namespace

TrayPicture::Choice TrayPicture::choose(const QString& title, int size, qreal dpr) {
    const qreal side = std::max(1, size) * (dpr > 0 ? dpr : 1);
    const qreal room = side - 2 * kOutline;
    Choice c;
    if (title.isEmpty())
        return c;
    const qreal gauge = std::round(side * kGaugeSide);
    // The gauge and the whole title where both read with ease; else the title alone, with its
    // "%" only where that still reads with ease, without it where it then just reads.
    if (const auto [px, cap] = fit(title, room, side - gauge - side * kGap - kOutline);
        cap >= kComfortableCap)
        return {Layout::gaugeOverTitle, title, px, cap};
    const bool percent = title.endsWith(QLatin1Char('%')) && title.size() > 1;
    const std::pair<QString, qreal> candidates[] = {
        {title, percent ? kComfortableCap : kLegibleCap},
        {percent ? title.chopped(1) : title, kLegibleCap}};
    for (const auto& [text, least] : candidates)
        if (const auto [px, cap] = fit(text, room, room); cap >= least)
            return {Layout::titleOnly, text, px, cap};
    return c;
}

TrayPicture::Ink TrayPicture::ink(const std::optional<QColor>& trayForeground, bool darkPanelGuess,
                                  Level level) {
    Ink out;
    if (trayForeground && trayForeground->isValid()) {
        out.fill = *trayForeground;
    } else {
        out.fill = darkPanelGuess ? QColor(Qt::white) : QColor(0x1D, 0x1D, 0x1F);
        out.outline = darkPanelGuess ? QColor(Qt::black) : QColor(Qt::white);
    }
    if (level != Level::info) {
        // The level's hue at the lightness that stands out most from a light panel and a dark
        // one alike: the tray's background is not known, and red and orange have room for both.
        const QColor base = Theme::levelColor(level, QPalette());
        float h = 0, sat = 0, l = 0, a = 0;
        base.getHslF(&h, &sat, &l, &a);
        double best = 0;
        for (int step = 0; step <= 100; ++step) {
            const QColor c(QColor::fromHslF(h, sat, step / 100.0F).rgb());
            const double worst =
                std::min(Theme::contrast(c, kLightPanel), Theme::contrast(c, kDarkPanel));
            if (worst > best) {
                best = worst;
                out.fill = c;
            }
        }
    }
    return out;
}

QImage TrayPicture::render(const QString& title, int size, qreal devicePixelRatio, const Ink& ink) {
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int side = static_cast<int>(std::round(std::max(1, size) * dpr));
    // Drawn in device pixels, so that glyphs and edges land on the pixel grid.
    QImage mask(side, side, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    const Choice choice = choose(title, size, dpr);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        const qreal gaugeSide = choice.layout == Layout::gaugeOnly ? side - 2 * kOutline
                                                                   : std::round(side * kGaugeSide);
        if (choice.layout != Layout::titleOnly) {
            const qreal top = choice.layout == Layout::gaugeOnly ? kOutline : 0;
            const QRectF box((side - gaugeSide) / 2, top, gaugeSide, gaugeSide);
            p.fillPath(Symbols::path(Symbol::gauge, box, 1), Qt::black);
        }
        if (choice.layout != Layout::gaugeOnly) {
            const QFont font = titleFont(choice.pixelSize);
            const QFontMetricsF m(font);
            p.setFont(font);
            p.setPen(Qt::black);
            const qreal w = m.horizontalAdvance(choice.text);
            // Digits stand on the bottom edge under a gauge; alone, they sit in the middle.
            const qreal baseline = choice.layout == Layout::gaugeOverTitle
                                       ? side - kOutline
                                       : std::round((side + choice.capHeight) / 2);
            p.drawText(QPointF(std::round((side - w) / 2), baseline), choice.text);
        }
    }

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        if (ink.outline.isValid()) {
            const QImage outline = tinted(mask, ink.outline);
            for (int dx = -kOutline; dx <= kOutline; ++dx)
                for (int dy = -kOutline; dy <= kOutline; ++dy)
                    if (dx != 0 || dy != 0)
                        p.drawImage(QPoint(dx, dy), outline);
        }
        p.drawImage(QPoint(0, 0), tinted(mask, ink.fill));
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

} // namespace vellumkite
